#pragma once
// quillpane-convert end to end: the built program on real files in a temporary folder, with preferences of its own.

#include "ImageEncoders.h"
#include "Picture.h"
#include "TestPictures.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class ConvertFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        UserDefaults::setStandardFilePath(root.filePath(QStringLiteral("config/Quillpane/Quillpane.json")));
        writePicture(QStringLiteral("in/wide.png"), 300, 200);
        writePicture(QStringLiteral("in/tall.jpg"), 200, 300, ImageEncoding::JPEG);
    }

    // Red is `red`, green and blue run along x and y; `red` < 0 makes it flat grey.
    void writePicture(const QString &name, int w, int h, ImageEncoding encoding = ImageEncoding::PNG, int red = 200)
    {
        const auto pixels = TestPictures::make(w, h, 3, 8, [red](int x, int y, uint16_t *out) {
            out[0] = uint16_t(red < 0 ? 128 : red);
            out[1] = uint16_t(red < 0 ? 128 : x % 256);
            out[2] = uint16_t(red < 0 ? 128 : y % 256);
        });
        writeFile(name, encodeImage(*pixels, encoding, 0.9f));
    }

    void writeFile(const QString &name, const QByteArray &content)
    {
        QDir(root.path()).mkpath(QFileInfo(name).path());
        QFile file(root.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QByteArray bytes(const QString &name) const
    {
        QFile file(root.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Runs `binary` in the temporary folder, `input` on its standard input.
    int run(const QStringList &arguments, const QByteArray &input = {}, const char *binary = QP_CONVERT_BINARY)
    {
        UserDefaults::standard().synchronize();
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(root.path());
        process.start(QString::fromLocal8Bit(binary), arguments);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000));
        out = QString::fromLocal8Bit(process.readAllStandardOutput());
        err = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QSize sizeOf(const QString &name) const
    {
        auto picture = Picture::readFile(root.filePath(name));
        return picture ? picture->sourcePixelSize() : webPictureSize(root.filePath(name));
    }

    // The report's lines; one that is no JSON object reads as an empty object.
    std::vector<QJsonObject> reportLines(const QString &name) const
    {
        std::vector<QJsonObject> lines;
        for (const QByteArray &line : bytes(name).split('\n'))
            if (!line.isEmpty())
                lines.push_back(QJsonDocument::fromJson(line).object());
        return lines;
    }

    // The "input" of each report line, sorted.
    QStringList reportedInputs(const QString &report) const
    {
        QStringList inputs;
        for (const QJsonObject &line : reportLines(report))
            inputs << line["input"].toString();
        inputs.sort();
        return inputs;
    }

    // Every file below the folder, by its path there, with its bytes.
    QMap<QString, QByteArray> filesIn(const QString &folder) const
    {
        QMap<QString, QByteArray> files;
        for (QDirIterator it(root.filePath(folder), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            files[QDir(root.filePath(folder)).relativeFilePath(path)] = bytes(QDir(root.path()).relativeFilePath(path));
        }
        return files;
    }
    QStringList filesBelow(const QString &folder) const { return filesIn(folder).keys(); }

    QTemporaryDir root;
    QString out, err;
};
