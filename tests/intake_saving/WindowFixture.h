#pragma once
// A launched main window on a fresh preferences file, a presenter that answers panels and
// alerts for the person, and pictures written as real files in a temporary folder.

#include "AppPaths.h"
#include "Controls.h"
#include "FileDialogPresenter.h"
#include "ImageEncoders.h"
#include "Log.h"
#include "Preferences.h"
#include "ShrinkerController.h"
#include "TestSupport.h"
#include "WindowMessage.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

inline QByteArray bytesOf(const QString &file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

inline void writeBytes(const QString &file, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << file.toStdString();
    ASSERT_EQ(out.write(bytes), bytes.size()) << file.toStdString();
}

// Everything in a folder, hidden files included: a stray temporary file shows up here.
inline QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Also answers the file panels: each with the next of `panelAnswers`, cancelled once they run out.
class AnsweringPresenter : public ScriptedPresenter {
public:
    FilePanelResult runSavePanel(const FilePanel &panel) override { return answer(panel); }
    FilePanelResult runOpenPanel(const FilePanel &panel) override { return answer(panel); }

    // The next panel is confirmed with these paths.
    void choose(const QStringList &paths)
    {
        FilePanelResult result{1, {}};
        for (const QString &path : paths)
            result.urls << QUrl::fromLocalFile(path);
        panelAnswers.push_back(result);
    }

    std::deque<FilePanelResult> panelAnswers;
    std::vector<FilePanel> panels;
    QList<AlertPanel> &alerts = asked; // the alerts asked, by the name the window tests use

private:
    FilePanelResult answer(const FilePanel &panel)
    {
        panels.push_back(panel);
        if (panelAnswers.empty())
            return {};
        FilePanelResult result = panelAnswers.front();
        panelAnswers.pop_front();
        return result;
    }
};

class WindowFixture : public FreshDefaultsTest {
protected:
    void SetUp() override
    {
        FreshDefaultsTest::SetUp();
        QDir(AppPaths::supportFolder()).removeRecursively();
        QDir().mkpath(AppPaths::supportFolder());
        DialogPresenter::install(&presenter);
        controller = std::make_unique<ShrinkerController>();
        controller->mainScreenScale = [] { return 1.0; };
        controller->manipulator.awakeFromNib();
        controller->awakeFromNib();
        controller->applicationDidFinishLaunching();
    }
    void TearDown() override
    {
        controller.reset();
        DialogPresenter::install(nullptr);
        FreshDefaultsTest::TearDown();
    }

    QString path(const QString &name) const { return files.filePath(name); }

    // A picture file with a gradient (so encoders have work); dpi sets its resolution.
    QString writePicture(const QString &name, int width, int height, int dpi = 72)
    {
        QImage image(width, height, QImage::Format_RGB888);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixelColor(x, y, QColor(x * 255 / width, y * 255 / height, 128));
        image.setDotsPerMeterX(int(dpi / 0.0254 + 0.5));
        image.setDotsPerMeterY(int(dpi / 0.0254 + 0.5));
        const QString file = path(name);
        QDir().mkpath(QFileInfo(file).absolutePath());
        if (file.endsWith(".tif")) { // Qt may have no TIFF writer: ours
            QFile out(file);
            const QByteArray bytes = encodeImage(*Picture::fromQImage(image)->representations().front()->pixels(), ImageEncoding::TIFF, 1.0f);
            EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size()) << file.toStdString();
        } else {
            EXPECT_TRUE(image.save(file)) << file.toStdString();
        }
        return file;
    }

    static QSize pixelSize(const QString &file)
    {
        const auto picture = Picture::readFile(file);
        return picture ? picture->largestPixelSize() : QSize();
    }

    // Confirms the next panel with `target` and saves; a batch runs to its end. The folder is
    // made as the panel would find it.
    void saveTo(const QString &target)
    {
        QDir().mkpath(controller->inputFileArray ? target : QFileInfo(target).absolutePath());
        presenter.choose({target});
        controller->doit();
        controller->waitForBatch();
    }

    void setSize(int width, int height)
    {
        controller->sizeFieldW->setText(QString::number(width));
        controller->sizeFieldH->setText(QString::number(height));
    }
    void setLock(bool on)
    {
        controller->constrain->setChecked(on);
        controller->handleControl(controller->constrain);
    }
    // Gives the window a picture file with the base size given, proportions unlocked.
    void adopt(const QString &file, int width, int height)
    {
        setLock(false);
        ASSERT_TRUE(controller->applicationOpenFile(file));
        setSize(width, height);
    }
    static QVariantMap twice() { return format("@2x", 1, {{"xratio", "2"}, {"yratio", "2"}}); }
    static void storeFormats(const QVariantList &formats) { UserDefaults::standard().setObjectForKey(formats, PrefKey::formats); }
    static QVariantMap format(const QString &modifier, int scalemode, const QVariantMap &entries)
    {
        QVariantMap record{{"name", modifier}, {"modifier", modifier}, {"scalemode", scalemode}, {"xabs", ""}, {"yabs", ""},
                           {"xratio", ""}, {"yratio", ""}, {"maxeither", ""}, {"relativeto", 1}, {"resamplemode", 3},
                           {"fillcolour", 0}, {"selected", true}};
        for (auto it = entries.begin(); it != entries.end(); ++it)
            record[it.key()] = it.value();
        return record;
    }

    AnsweringPresenter presenter;
    std::unique_ptr<ShrinkerController> controller;
    QTemporaryDir temporary;
    QDir files{temporary.path()};
};
