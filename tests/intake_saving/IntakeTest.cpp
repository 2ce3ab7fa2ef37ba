// Every road by which pictures arrive, stepping through a batch list, and the system's
// roads: the command line and the .desktop file.

#include "WindowFixture.h"
#include "CommandLineIntake.h"
#include "ImageDecoders.h"
#include "NotificationCenter.h"
#include "TestPictures.h"

#include <QBuffer>
#include <QClipboard>
#include <QFileSystemModel>
#include <QListView>
#include <QMimeData>
#include <QMimeDatabase>
#include <algorithm>

namespace {

class IntakeTest : public WindowFixture {
protected:
    void expectSingle(QSize pixels)
    {
        ASSERT_TRUE(controller->inputImage);
        EXPECT_EQ(controller->inputImage->largestPixelSize(), pixels);
        EXPECT_FALSE(controller->inputFileArray.has_value());
        EXPECT_TRUE(controller->inputFileCount->text().isEmpty());
        EXPECT_TRUE(controller->nextImage->isHidden());
        EXPECT_TRUE(controller->previousImage->isHidden());
    }
    void expectButtons(bool previous, bool next)
    {
        EXPECT_FALSE(controller->nextImage->isHidden());
        EXPECT_FALSE(controller->previousImage->isHidden());
        EXPECT_EQ(controller->previousImage->isEnabled(), previous);
        EXPECT_EQ(controller->nextImage->isEnabled(), next);
    }
};

// Stepping through the list is DispatcherTest's; here the panel's offer and what it gives.
TEST_F(IntakeTest, TheOpenPanelGivesOnePictureOrABatchAndLogsWhatIsNoFile)
{
    const QString a = writePicture("a.png", 300, 200), b = writePicture("b.png", 40, 30);
    presenter.choose({a});
    controller->browse();
    expectSingle(QSize(300, 200));
    const FilePanel &panel = presenter.panels.back();
    EXPECT_EQ(panel.title, "Choose a Picture or Selection of Pictures");
    EXPECT_EQ(panel.prompt, "Choose");
    EXPECT_EQ(panel.allowedFileTypes, QStringList({"jpg", "jpeg", "gif", "png", "pdf", "ai", "eps", "tif", "tiff", "webp", "avif", "heic", "heif"}));
    EXPECT_TRUE(panel.canChooseDirectories && panel.allowsMultipleSelection);

    LogCapture log;
    presenter.answers.push_back({1, {QUrl::fromLocalFile(a), QUrl("https://example.org/x.png"), QUrl::fromLocalFile(b)}});
    controller->browse();
    EXPECT_TRUE(log.contains("either problem with url https://example.org/x.png or it is not a file:// url"));
    ASSERT_EQ(*controller->inputFileArray, QStringList({a, b}));
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 2 images");
    expectButtons(false, true);
    // An entry unreadable since it arrived moves only the cursor.
    writeBytes(b, "no longer a picture");
    controller->handleControl(controller->nextImage);
    EXPECT_EQ(controller->cursor, 1);
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 2 images");
    EXPECT_EQ(controller->inputImage->largestPixelSize(), QSize(300, 200));
    expectButtons(true, false);
}

// The three roads by which a list of paths arrives: the Open panel, a drop on the well and
// the command line (as the desktop passes files and folders to the program).
std::vector<std::pair<const char *, std::function<void(const QStringList &)>>> roads(ShrinkerController &controller,
                                                                                      AnsweringPresenter &presenter)
{
    return {
        {"the Open panel", [&](const QStringList &paths) { presenter.choose(paths); controller.browse(); }},
        {"a drop", [](const QStringList &paths) {
             NotificationCenter::defaultCenter().postNotificationName(Notification::imageDropped, {{Notification::imageFileNames, paths}});
             QCoreApplication::processEvents();
         }},
        {"the command line", [&](const QStringList &paths) { openCommandLinePaths(controller, paths); }},
    };
}

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

TEST_F(IntakeTest, FilesThatAreNoPicturesAreNamedOncePerArrivalAndLeftOutOfTheBatch)
{
    const QString a = writePicture("in/a.png", 300, 200), b = writePicture("in/b.png", 40, 30);
    const QString empty = path("in/empty.png"), notes = path("in/notes.txt"), huge = path("in/huge.jpg");
    writeBytes(empty, "");
    writeBytes(notes, "words");
    writeBytes(huge, jpegClaiming(65000, 65000));
    for (const auto &[road, arrive] : roads(*controller, presenter)) {
        SCOPED_TRACE(road);
        controller->messageBar->hide();
        arrive({a, empty, notes, huge, b});
        EXPECT_EQ(*controller->inputFileArray, QStringList({a, b}));
        EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 2 images");
        EXPECT_FALSE(controller->messageBar->isHidden());
        EXPECT_EQ(controller->messageBar->text(), "These 3 files could not be read as pictures:\n"
                                                  "empty.png: the file is empty\n"
                                                  "notes.txt: it is not a picture of a type this program reads\n"
                                                  "huge.jpg: 65000 x 65000 pixels is more than the limit of 200 megapixels");
        arrive({notes, b});
        expectSingle(QSize(40, 30));
        EXPECT_EQ(controller->messageBar->text(),
                  "This file could not be read as a picture:\nnotes.txt: it is not a picture of a type this program reads");
    }
    // One file alone that cannot be read says so too, and the picture shown stays.
    controller->messageBar->hide();
    EXPECT_FALSE(controller->applicationOpenFile(empty));
    EXPECT_EQ(controller->messageBar->text(), "This file could not be read as a picture:\nempty.png: the file is empty");
    expectSingle(QSize(40, 30));
}

TEST_F(IntakeTest, AFolderArrivesAsThePicturesDirectlyInsideItInNameOrderByEveryRoad)
{
    for (const char *name : {"shots/b 10.png", "shots/b 9.jpg", "shots/A.png", "shots/.hidden.png", "shots/sub/c.png", "one/only.png"})
        writePicture(name, 30, 20);
    writeBytes(path("shots/notes.txt"), "words");
    QDir().mkpath(path("none"));
    const QString x = writePicture("x.png", 50, 50);
    const QStringList shots = {path("shots/A.png"), path("shots/b 9.jpg"), path("shots/b 10.png")};
    for (const auto &[road, arrive] : roads(*controller, presenter)) {
        SCOPED_TRACE(road);
        controller->messageBar->hide();
        arrive({path("shots")});
        EXPECT_EQ(*controller->inputFileArray, shots);
        EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 3 images");
        arrive({x, path("shots"), path("shots/A.png")});
        EXPECT_EQ(*controller->inputFileArray, QStringList({x}) + shots);
        EXPECT_TRUE(controller->messageBar->isHidden()); // files of other types in a folder are no news
        arrive({path("one")});
        expectSingle(QSize(30, 20));
        arrive({path("none")});
        EXPECT_EQ(controller->messageBar->text(), "This file could not be read as a picture:\nnone: it is a folder without picture files");
        expectSingle(QSize(30, 20));
    }
}

// The real Open panel: a folder selected in its list is what the person chooses.
TEST_F(IntakeTest, TheOpenPanelTakesAFolderSelectedInIt)
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

TEST_F(IntakeTest, TheBatchPositionIsNeverCutOffEvenInTheNarrowestWindow)
{
    controller->multipleImagesProvided({writePicture("a.png", 30, 20), writePicture("b.png", 30, 20)});
    controller->uiWindow->show();
    for (const QSize size : {controller->uiWindow->size(), controller->uiWindow->minimumSizeHint()}) {
        controller->uiWindow->resize(size);
        for (const QString text : {"showing the first of 12 images", "showing image 1000 of 1000 images"}) {
            SCOPED_TRACE(text.toStdString());
            QLabel *label = controller->inputFileCount;
            label->setText(text);
            QCoreApplication::processEvents(); // the layout settles
            const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
            const QRect needed = label->fontMetrics().boundingRect(QRect(QPoint(), label->contentsRect().size()), flags, text);
            EXPECT_LE(needed.width(), label->contentsRect().width());
            EXPECT_LE(needed.height(), label->contentsRect().height());
        }
    }
}

TEST_F(IntakeTest, DropsArriveAfterTheDropAndOneDroppedFileIsASinglePicture)
{
    const QString a = writePicture("a.png", 300, 200), b = writePicture("b.png", 40, 30);
    NotificationCenter::defaultCenter().postNotificationName(Notification::imageDropped,
                                                         {{Notification::imageFileNames, QStringList({a, b})}});
    EXPECT_FALSE(controller->inputImage); // not inside the drop
    QCoreApplication::processEvents();
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 2 images");

    NotificationCenter::defaultCenter().postNotificationName(Notification::imageDropped, {{Notification::imageFileNames, QStringList({b})}});
    QCoreApplication::processEvents();
    expectSingle(QSize(40, 30));
    NotificationCenter::defaultCenter().postNotificationName(Notification::imageDropped, {{"other", 1}});
    QCoreApplication::processEvents();
    expectSingle(QSize(40, 30));

}

TEST_F(IntakeTest, TheClipboardGivesExactlyOnePictureOrNothing)
{
    const QString a = writePicture("a.png", 300, 200), b = writePicture("b.png", 40, 30);
    QImage copied(64, 48, QImage::Format_RGB888);
    copied.fill(Qt::red);
    QApplication::clipboard()->setImage(copied);
    controller->fromClip();
    expectSingle(QSize(64, 48));

    auto *two = new QMimeData;
    two->setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    QApplication::clipboard()->setMimeData(two);
    controller->fromClip();
    expectSingle(QSize(64, 48));

    // A paste into the well takes the clipboard too.
    auto *one = new QMimeData;
    one->setUrls({QUrl::fromLocalFile(a)});
    QApplication::clipboard()->setMimeData(one);
    NotificationCenter::defaultCenter().postNotificationName(Notification::imagePasted, {});
    expectSingle(QSize(300, 200));
}

TEST_F(IntakeTest, NewPicturesResetTheSlidersOnlyWhenAsked)
{
    const QString a = writePicture("a.png", 30, 20);
    controller->brightnessSlider->setFloatValue(0.3f);
    for (const auto &[reset, brightness] : {std::pair{0, 0.3f}, {1, 0.0f}}) {
        UserDefaults::standard().setIntegerForKey(reset, PrefKey::resetSliders);
        controller->applicationOpenFile(a);
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
    const QMimeDatabase mimes;
    // Every ending the decoders read is offered by its type (an ending the desktop does
    // not know, such as jfif, is told by content as its parent type)...
    QList<QMimeType> read;
    for (const QString &ending : pictureFileExtensions()) {
        const QMimeType mime = mimes.mimeTypeForFile("picture." + ending, QMimeDatabase::MatchExtension);
        if (mime.isDefault())
            continue;
        read << mime;
        bool found = declared.contains(mime.name());
        for (const QString &alias : mime.aliases())
            found |= declared.contains(alias);
        EXPECT_TRUE(found) << ending.toStdString() << " is " << mime.name().toStdString();
    }
    // ...and nothing else is: each declared type is one of those, another name of one, or
    // the parent of one (EPS is PostScript).
    for (const QString &name : declared) {
        const QMimeType mime = mimes.mimeTypeForName(name);
        EXPECT_TRUE(std::any_of(read.begin(), read.end(), [&](const QMimeType &t) { return t == mime || t.inherits(mime.name()); }))
            << name.toStdString();
    }
}

} // namespace
