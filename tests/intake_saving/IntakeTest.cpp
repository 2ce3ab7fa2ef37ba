// Every road by which pictures arrive, and the system's roads: the command line and the
// .desktop file.

#include "WindowFixture.h"
#include "CommandLineIntake.h"
#include "ImageDecoders.h"
#include "NotificationCenter.h"
#include "TestPictures.h"

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
    }
};

// A list of paths arrives as its pictures, a folder's directly inside it in name order, each
// once; what is no picture is named once per arrival and left out. One road per kind of list:
// the desktop passes files and folders on the command line, the person drops or chooses them.
TEST_F(IntakeTest, EveryRoadTakesThePicturesOfAListAndNamesWhatIsNoPicture)
{
    const QString a = writePicture("in/a.png", 300, 200), b = writePicture("in/b.png", 40, 30);
    const QString empty = path("in/empty.png"), notes = path("in/notes.txt");
    writeBytes(empty, "");
    writeBytes(notes, "words");
    for (const char *name : {"shots/b 10.png", "shots/b 9.jpg", "shots/A.PNG", "shots/.hidden.png", "shots/sub.png/c.png", "one/only.png"})
        writePicture(name, 30, 20);
    writeBytes(path("shots/notes.txt"), "words"); // no news: a folder may hold other files
    QDir().mkpath(path("none"));
    const auto drop = [](const QVariantMap &info) {
        NotificationCenter::defaultCenter().postNotificationName(Notification::imageDropped, info);
    };
    drop({{Notification::imageFileNames, QStringList{a, empty, notes, path("shots"), path("shots/A.PNG"), b}}});
    QCoreApplication::processEvents();
    EXPECT_EQ(*controller->inputFileArray, QStringList({a, path("shots/A.PNG"), path("shots/b 9.jpg"), path("shots/b 10.png"), b}));
    EXPECT_EQ(controller->inputFileCount->text(), "showing the first of 5 images");
    EXPECT_EQ(controller->messageBar->text(), "These 2 files could not be read as pictures:\n"
                                              "empty.png: the file is empty\n"
                                              "notes.txt: it is not a picture of a type this program reads");
    presenter.panelAnswers.push_back({1, {QUrl::fromLocalFile(notes), QUrl("https://example.org/x.png"), QUrl::fromLocalFile(b)}});
    controller->browse();
    const FilePanel &panel = presenter.panels.back();
    EXPECT_EQ(panel.allowedFileTypes, QStringList({"jpg", "jpeg", "gif", "png", "pdf", "ai", "eps", "tif", "tiff", "webp", "avif", "heic", "heif"}));
    EXPECT_TRUE(panel.canChooseDirectories && panel.allowsMultipleSelection);
    expectSingle(QSize(40, 30));
    EXPECT_EQ(controller->messageBar->text(),
              "This file could not be read as a picture:\nnotes.txt: it is not a picture of a type this program reads");
    openCommandLinePaths(*controller, {path("one")});
    expectSingle(QSize(30, 20));
    openCommandLinePaths(*controller, {path("none")});
    EXPECT_EQ(controller->messageBar->text(), "This file could not be read as a picture:\nnone: it is a folder without picture files");
    expectSingle(QSize(30, 20));
    // One file alone that cannot be read says so too, and the picture shown stays.
    EXPECT_FALSE(controller->applicationOpenFile(empty));
    EXPECT_EQ(controller->messageBar->text(), "This file could not be read as a picture:\nempty.png: the file is empty");
    expectSingle(QSize(30, 20));
    // A drop is taken once it has ended; one without files changes nothing.
    drop({{Notification::imageFileNames, QStringList{b}}});
    drop({{"other", 1}});
    expectSingle(QSize(30, 20));
    QCoreApplication::processEvents();
    expectSingle(QSize(40, 30));
    // Options are not paths; what a file manager passes is told by its content, not its name.
    EXPECT_EQ(commandLinePaths({"-style", "--reverse", QUrl::fromLocalFile(a).toString(), "--", "-odd.png"}),
              QStringList({a, QDir::current().absoluteFilePath("-odd.png")}));
    const std::tuple<const char *, const char *, QSizeF> typed[] = {
        {"t.ai", "pdf.pdf", {200, 100}}, {"photo-from-a-phone.jpg", "heic-orientation-1.heic", {48, 32}}};
    for (const auto &[name, file, size] : typed) {
        writeBytes(path(name), TestPictures::bytes(file));
        openCommandLinePaths(*controller, {path(name)});
        ASSERT_TRUE(controller->inputImage) << name;
        EXPECT_EQ(controller->inputImage->size(), size) << name;
    }
}

// The clipboard gives exactly one picture or nothing, by the command and by a paste into the
// well; a new picture resets the sliders only when asked.
TEST_F(IntakeTest, TheClipboardGivesExactlyOnePictureOrNothingAndANewPictureResetsTheSlidersOnlyWhenAsked)
{
    const QString a = writePicture("a.png", 300, 200), b = writePicture("b.png", 40, 30);
    QApplication::clipboard()->setImage(QImage(64, 48, QImage::Format_RGB888));
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
        controller->applicationOpenFile(a);
        EXPECT_FLOAT_EQ(controller->brightnessSlider->floatValue(), brightness) << reset;
    }
}

TEST(DesktopFile, DeclaresExactlyTheTypesTheDecodersReadAndPassesFiles)
{
    // Read by hand: QSettings would take the ";" of the lists for comments.
    QFile file(QStringLiteral(QP_DESKTOP_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    EXPECT_TRUE(lines.contains("Exec=quillpane %F"));
    const QStringList declared = lines.filter("MimeType=").value(0).mid(9).split(';', Qt::SkipEmptyParts);
    // Every ending the decoders read is declared by its type or an alias (one the desktop does not
    // know, such as jfif, is told by content); each declared type is read, or a parent (EPS: PostScript).
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
