// Every road by which pictures arrive, and the system's roads: the command line and the
// .desktop file.

#include "WindowFixture.h"
#include "CommandLineIntake.h"
#include "ImageDecoders.h"
#include "NotificationCenter.h"
#include "TestPictures.h"

#include <QBuffer>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QMimeData>
#include <QMimeDatabase>

namespace {

class IntakeTest : public WindowFixture {
protected:
    void expectSingle(QSize pixels)
    {
        ASSERT_TRUE(controller->inputImage);
        EXPECT_EQ(controller->inputImage->largestPixelSize(), pixels);
        EXPECT_FALSE(controller->inputFileArray.has_value());
        EXPECT_TRUE(controller->inputFileCount->text().isEmpty());
        EXPECT_TRUE(controller->nextImage->isHidden() && controller->previousImage->isHidden());
    }
};

// A JPEG whose header claims width x height pixels.
QByteArray jpegClaiming(int width, int height)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImage(8, 8, QImage::Format_RGB888).save(&buffer, "JPEG");
    QByteArray bytes = buffer.data();
    const qsizetype frame = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    EXPECT_GT(frame, 0);
    for (const auto &[at, value] : {std::pair{5, height}, std::pair{7, width}}) {
        bytes[frame + at] = char(value >> 8);
        bytes[frame + at + 1] = char(value & 0xFF);
    }
    return bytes;
}

// By the Open panel, a drop on the well and the command line (as the desktop passes files and
// folders), a list of paths arrives as its pictures: a folder's directly inside it in name order,
// each once; what is no picture is named once per arrival and left out.
TEST_F(IntakeTest, EveryRoadTakesThePicturesOfAListAndNamesWhatIsNoPicture)
{
    const QString a = writePicture("in/a.png", 300, 200), b = writePicture("in/b.png", 40, 30);
    const QString empty = path("in/empty.png"), notes = path("in/notes.txt"), huge = path("in/huge.jpg");
    writeBytes(empty, "");
    writeBytes(notes, "words");
    writeBytes(huge, jpegClaiming(65000, 65000));
    for (const char *name : {"shots/b 10.png", "shots/b 9.jpg", "shots/A.png", "shots/.hidden.png", "shots/sub/c.png", "one/only.png"})
        writePicture(name, 30, 20);
    writeBytes(path("shots/notes.txt"), "words"); // no news: a folder may hold other files
    QDir().mkpath(path("none"));
    const std::pair<const char *, std::function<void(const QStringList &)>> roads[] = {
        {"the Open panel", [&](const QStringList &paths) { presenter.choose(paths); controller->browse(); }},
        {"a drop", [](const QStringList &paths) {
             NotificationCenter::defaultCenter().postNotificationName(Notification::imageDropped, {{Notification::imageFileNames, paths}});
             QCoreApplication::processEvents();
         }},
        {"the command line", [&](const QStringList &paths) { openCommandLinePaths(*controller, paths); }},
    };
    for (const auto &[road, arrive] : roads) {
        SCOPED_TRACE(road);
        controller->messageBar->hide();
        arrive({a, empty, notes, path("shots"), huge, path("shots/A.png"), b});
        EXPECT_EQ(*controller->inputFileArray, QStringList({a, path("shots/A.png"), path("shots/b 9.jpg"), path("shots/b 10.png"), b}));
        EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 5 images");
        EXPECT_EQ(controller->messageBar->text(), "These 3 files could not be read as pictures:\n"
                                                  "empty.png: the file is empty\n"
                                                  "notes.txt: it is not a picture of a type this program reads\n"
                                                  "huge.jpg: 65000 x 65000 pixels is more than the limit of 200 megapixels");
        arrive({notes, b});
        expectSingle(QSize(40, 30));
        EXPECT_EQ(controller->messageBar->text(),
                  "This file could not be read as a picture:\nnotes.txt: it is not a picture of a type this program reads");
        arrive({path("one")});
        expectSingle(QSize(30, 20));
        arrive({path("none")});
        EXPECT_EQ(controller->messageBar->text(), "This file could not be read as a picture:\nnone: it is a folder without picture files");
        expectSingle(QSize(30, 20));
    }
    // One file alone that cannot be read says so too, and the picture shown stays.
    EXPECT_FALSE(controller->applicationOpenFile(empty));
    EXPECT_EQ(controller->messageBar->text(), "This file could not be read as a picture:\nempty.png: the file is empty");
    expectSingle(QSize(30, 20));
    // A drop is taken once it has ended; one without files changes nothing.
    NotificationCenter::defaultCenter().postNotificationName(Notification::imageDropped, {{Notification::imageFileNames, QStringList{b}}});
    NotificationCenter::defaultCenter().postNotificationName(Notification::imageDropped, {{"other", 1}});
    expectSingle(QSize(30, 20));
    QCoreApplication::processEvents();
    expectSingle(QSize(40, 30));
}

TEST_F(IntakeTest, TheOpenPanelOffersThePictureTypesAndFoldersAndLogsWhatIsNoFile)
{
    const QString a = writePicture("a.png", 300, 200), b = writePicture("b.png", 40, 30);
    LogCapture log;
    presenter.answers.push_back({1, {QUrl::fromLocalFile(a), QUrl("https://example.org/x.png"), QUrl::fromLocalFile(b)}});
    controller->browse();
    EXPECT_TRUE(log.contains("either problem with url https://example.org/x.png or it is not a file:// url"));
    EXPECT_EQ(*controller->inputFileArray, QStringList({a, b}));
    const FilePanel &panel = presenter.panels.back();
    EXPECT_EQ(panel.title, "Choose a Picture or Selection of Pictures");
    EXPECT_EQ(panel.prompt, "Choose");
    EXPECT_EQ(panel.allowedFileTypes, QStringList({"jpg", "jpeg", "gif", "png", "pdf", "ai", "eps", "tif", "tiff", "webp", "avif", "heic", "heif"}));
    EXPECT_TRUE(panel.canChooseDirectories && panel.allowsMultipleSelection);
}

// The clipboard gives exactly one picture or nothing, by the command and by a paste into the
// well; a new picture resets the sliders only when asked.
TEST_F(IntakeTest, TheClipboardGivesExactlyOnePictureOrNothingAndANewPictureResetsTheSlidersOnlyWhenAsked)
{
    const QString a = writePicture("a.png", 300, 200), b = writePicture("b.png", 40, 30);
    QImage copied(64, 48, QImage::Format_RGB888);
    QApplication::clipboard()->setImage(copied);
    controller->fromClip();
    expectSingle(QSize(64, 48));
    for (const auto &[urls, pixels] : {std::pair{QList<QUrl>{QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}, QSize(64, 48)},
                                       {QList<QUrl>{QUrl::fromLocalFile(a)}, QSize(300, 200)}}) {
        auto *mime = new QMimeData;
        mime->setUrls(urls);
        QApplication::clipboard()->setMimeData(mime);
        NotificationCenter::defaultCenter().postNotificationName(Notification::imagePasted, {});
        expectSingle(pixels);
    }
    controller->brightnessSlider->setFloatValue(0.3f);
    for (const auto &[reset, brightness] : {std::pair{0, 0.3f}, {1, 0.0f}}) {
        UserDefaults::standard().setIntegerForKey(reset, PrefKey::resetSliders);
        controller->applicationOpenFile(b);
        EXPECT_FLOAT_EQ(controller->brightnessSlider->floatValue(), brightness) << reset;
    }
}

TEST_F(IntakeTest, TheSystemOpensFilesThroughTheCommandLine)
{
    const QString a = writePicture("a.png", 300, 200), b = writePicture("b.png", 40, 30);
    writeBytes(path("notes.txt"), "words");

    EXPECT_EQ(commandLinePaths({"-style", "--reverse", QUrl::fromLocalFile(a).toString(), "--", "-odd.png"}),
              QStringList({a, QDir::current().absoluteFilePath("-odd.png")}));
    LogCapture log;
    EXPECT_FALSE(controller->applicationOpenFile(path("notes.txt")));
    EXPECT_TRUE(log.contains("unable to open " + path("notes.txt")));
    EXPECT_FALSE(controller->inputImage);

    openCommandLinePaths(*controller, {a});
    expectSingle(QSize(300, 200));
    openCommandLinePaths(*controller, {a, b});
    EXPECT_EQ(*controller->inputFileArray, QStringList({a, b}));
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 2 images");

    // A picture of each type the desktop entry declares, as a file manager passes it.
    const std::tuple<const char *, const char *, QSizeF> typed[] = {
        {"t.jpg", "jpeg.jpg", {48, 32}},
        {"t.png", "png.png", {48, 32}},
        {"t.gif", "gif.gif", {10, 9}},
        {"t.tif", "tiff.tif", {48, 32}},
        {"t.webp", "webp.webp", {48, 32}},
        {"t.heic", "heic-orientation-1.heic", {48, 32}},
        {"t.avif", "avif-orientation-1.avif", {48, 32}},
        {"t.pdf", "pdf.pdf", {200, 100}},
        {"t.ai", "pdf.pdf", {200, 100}},
        {"t.eps", "eps.eps", {120, 60}},
        {"photo-from-a-phone.jpg", "heic-orientation-1.heic", {48, 32}}}; // told by content, not by name
    for (const auto &[name, file, size] : typed) {
        writeBytes(path(name), TestPictures::bytes(file));
        controller->inputImage.reset();
        openCommandLinePaths(*controller, {path(name)});
        ASSERT_TRUE(controller->inputImage) << name;
        EXPECT_EQ(controller->inputImage->size(), size) << name;
    }
}

TEST(DesktopFile, DeclaresExactlyTheTypesTheDecodersReadAndPassesFiles)
{
    // Read by hand: QSettings would take the ";" of the lists for comments.
    QFile file(QStringLiteral(QP_DESKTOP_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QMap<QString, QString> entry;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (const int equals = int(line.indexOf('=')); equals > 0)
            entry.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
    EXPECT_EQ(entry.value("Exec"), "quillpane %F");
    EXPECT_EQ(entry.value("Icon") + ".desktop", QFileInfo(QStringLiteral(QP_DESKTOP_FILE)).fileName()) << "one id for both";
    const QStringList declared = entry.value("MimeType").split(';', Qt::SkipEmptyParts);
    // Every ending the decoders read is offered by its type or another name of it (an ending the
    // desktop does not know, such as jfif, is told by content), and each declared type is one of
    // those or the parent of one (EPS is PostScript).
    const QMimeDatabase mimes;
    QList<QMimeType> read;
    for (const QString &ending : pictureFileExtensions())
        if (const QMimeType mime = mimes.mimeTypeForFile("picture." + ending, QMimeDatabase::MatchExtension); !mime.isDefault()) {
            read << mime;
            const QStringList names = mime.aliases() << mime.name();
            EXPECT_TRUE(std::any_of(names.begin(), names.end(), [&](const QString &n) { return declared.contains(n); }))
                << ending.toStdString() << " is " << mime.name().toStdString();
        }
    for (const QString &name : declared) {
        const QString canonical = mimes.mimeTypeForName(name).name();
        EXPECT_TRUE(std::any_of(read.begin(), read.end(), [&](const QMimeType &t) { return t.inherits(canonical); })) << name.toStdString();
    }
}

// The real panel, not a stand-in: a folder chosen in it arrives as its pictures.
TEST_F(IntakeTest, TheRealOpenPanelTakesAFolderSelectedInIt)
{
    writePicture("shots/a.png", 30, 20);
    writePicture("shots/b.png", 30, 20);
    FileDialogPresenter panels(controller->uiWindow);
    DialogPresenter::install(&panels);
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        dialog->setDirectory(files.path());
        auto *model = dialog->findChild<QFileSystemModel *>();
        auto *view = dialog->findChild<QListView *>("listView");
        ASSERT_TRUE(model && view);
        QTRY_VERIFY(model->index(path("shots")).isValid()); // listed once the folder has been read
        view->selectionModel()->select(model->index(path("shots")), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open)->click();
        if (dialog->isVisible())
            dialog->reject();
    });
    controller->browse();
    DialogPresenter::install(&presenter);
    ASSERT_TRUE(controller->inputFileArray.has_value());
    EXPECT_EQ(*controller->inputFileArray, QStringList({path("shots/a.png"), path("shots/b.png")}));
}

} // namespace
