#pragma once
// The run's report: one JSON object a line for each picture, appended as the picture
// ends, so the report of a killed run is valid up to its last line. Written by
// quillpane-convert, read by quillpane-check-report.

#include <QByteArray>
#include <QString>
#include <mutex>
#include <vector>

namespace ReportKey {
inline const QString input = QStringLiteral("input");
inline const QString status = QStringLiteral("status");
inline const QString reason = QStringLiteral("reason");
inline const QString outputs = QStringLiteral("outputs");
inline const QString milliseconds = QStringLiteral("ms");
inline const QString path = QStringLiteral("path");
inline const QString width = QStringLiteral("width");
inline const QString height = QStringLiteral("height");
inline const QString bytes = QStringLiteral("bytes");
inline const QString existing = QStringLiteral("existing");
inline const QString ok = QStringLiteral("ok");
inline const QString failed = QStringLiteral("failed");
} // namespace ReportKey

struct ReportedOutput {
    QString path;
    int width = 0, height = 0;
    qint64 bytes = 0;
    bool existing = false; // left as it was
};

struct ReportLine {
    QString input;
    QString reason; // empty: ok
    std::vector<ReportedOutput> outputs;
    qint64 milliseconds = 0;

    QByteArray text() const; // the JSON object and its newline
};

class ReportFile {
public:
    ReportFile() = default;
    ~ReportFile();
    ReportFile(const ReportFile &) = delete;
    ReportFile &operator=(const ReportFile &) = delete;

    // Opens the file for appending, made when missing. A last line that a killed run left
    // unfinished is cut away first. False, with `why`.
    bool open(const QString &path, QString &why);
    // Appends the line in one write; from any thread. False, with `why`, when it failed.
    bool append(const ReportLine &line, QString &why);

private:
    int fd_ = -1;
    std::mutex mutex_;
};
