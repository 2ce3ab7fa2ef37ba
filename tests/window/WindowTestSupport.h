#pragma once
// A main window per test, on a fresh preferences file and an empty support folder.

#include "AppPaths.h"
#include "Controls.h"
#include "Log.h"
#include "ImageEncoders.h"
#include "Picture.h"
#include "Preferences.h"
#include "QP_ImageView.h"
#include "ShrinkerController.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QTest>
#include <QtWidgets>

#include <memory>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

// Types into a field as the person does, ending with Return.
inline void typeInto(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

inline void replaceFileContents(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

class WindowTest : public FreshDefaultsTest {
protected:
    void SetUp() override
    {
        FreshDefaultsTest::SetUp();
        QDir(AppPaths::supportFolder()).removeRecursively();
        fresh();
    }
    void TearDown() override
    {
        controller.reset();
        FreshDefaultsTest::TearDown();
    }
    // A new window, built as the program builds it, before start-up.
    void fresh()
    {
        controller = std::make_unique<ShrinkerController>();
        controller->mainScreenScale = [] { return 1.0; };
    }
    void launch(bool show = false)
    {
        controller->manipulator.awakeFromNib();
        controller->awakeFromNib();
        controller->applicationDidFinishLaunching();
        if (show)
            controller->uiWindow->show();
    }
    // A gradient, so encoders have work.
    static std::shared_ptr<const Picture> picture(int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB888);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixelColor(x, y, QColor(x * 255 / width, y * 255 / height, 128));
        return Picture::fromQImage(image);
    }
    // Gives the window a picture the way the intake does.
    void adopt(std::shared_ptr<const Picture> image)
    {
        controller->inputImage = std::move(image);
        controller->calculateRatio();
        controller->applyAspectRatio(controller.get());
        controller->updateOutputImage();
    }

    std::unique_ptr<ShrinkerController> controller;
    UserDefaults &defaults = UserDefaults::standard();
};

class ShownWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        launch(true);
    }
};
