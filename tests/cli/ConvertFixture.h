#pragma once
// quillpane-convert end to end: the built program on real files in a temporary folder,
// with a preferences file of its own there.

#include "ImageEncoders.h"
#include "Picture.h"
#include "PixelBuffer.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

class ConvertFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkpath(QStringLiteral("config/Quillpane"));
        QDir(root.path()).mkpath(QStringLiteral("in"));
        UserDefaults::setStandardFilePath(root.filePath(QStringLiteral("config/Quillpane/Quillpane.json")));
        writePicture(QStringLiteral("in/wide.png"), 300, 200, ImageEncoding::PNG);
        writePicture(QStringLiteral("in/tall.jpg"), 200, 300, ImageEncoding::JPEG);
    }

    // A picture whose red is `red` and whose green and blue run along x and y.
    void writePicture(const QString &name, int w, int h, ImageEncoding encoding, uint8_t red = 200)
    {
        auto buffer = PixelBuffer::create(w, h, 3, 8);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t *p = buffer->row(y) + x * 3;
                p[0] = red;
                p[1] = uint8_t(x % 256);
                p[2] = uint8_t(y % 256);
            }
        QDir(root.path()).mkpath(QFileInfo(name).path());
        writeFile(name, encodeImage(*buffer, encoding, 0.9f));
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

    // Runs the command in the temporary folder, `input` on its standard input; `prepare`
    // may change the process before it starts.
    int run(const QStringList &arguments, const QByteArray &input = {}, const std::function<void(QProcess &)> &prepare = {})
    {
        UserDefaults::standard().synchronize();
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), root.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(root.path());
        if (prepare)
            prepare(process);
        process.start(QStringLiteral(QP_CONVERT_BINARY), arguments);
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
        return picture ? picture->sourcePixelSize() : QSize();
    }

    // The report's lines, each of which must be a JSON object.
    std::vector<QJsonObject> reportLines(const QString &name) const
    {
        std::vector<QJsonObject> lines;
        for (const QByteArray &line : bytes(name).split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonDocument document = QJsonDocument::fromJson(line);
            EXPECT_TRUE(document.isObject()) << "not a report line: " << line.toStdString();
            lines.push_back(document.object());
        }
        return lines;
    }

    QStringList errLines() const { return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

    QTemporaryDir root;
    QString out, err;
};
