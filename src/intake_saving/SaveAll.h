#pragma once
// Writing one picture in every output the person asked for: the base output and each
// selected format beside it. Widget-free, so the batch thread runs it on a snapshot of
// the window's settings taken on the main thread.

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <mutex>

class Picture;
class PhotoManipulator;

namespace SaveAll {

// Upscaling flags, as in ShrinkerController::scaledUp.
constexpr int32_t kFormatUpscaled = 1;
constexpr int32_t kBaseUpscaled = 2;

// Everything a save reads from the window and the preferences, read once.
struct SaveJob {
    QVariantMap baseSettings;  // the base conversion settings, from the controls
    qint64 fileFormat = 0;     // "fileFormat"
    qint64 fillColour = 0;     // "fillcolour"
    bool warnAboutUpscaling = true;
    QVariantList formats;      // the stored format list
};

// Which engine converts: the window's own, shared with the preview (the conversion then
// runs under conversionMutex too), or one of the caller's, free to run beside a preview
// (only the temp preview file's write and copy then wait for the mutex).
enum class Engine { SharedWithPreview, Private };

// One output: encode, replace the temp preview file of the type and copy it to
// destination (empty: none), the file steps under conversionMutex. The destination is
// replaced only once the new output exists; a failed conversion leaves it as it was.
// Returns the encoded bytes (empty on failure, logged).
QByteArray convertOutput(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                         const QVariantMap &settings, qint64 fileFormat, qint64 fillColour, const QString &destination);

// The save-all operation: the base output at basePath, then each selected format in list
// order beside it. Returns the upscaling flags found (only with warnAboutUpscaling on);
// baseBytes, when given, receives the base output's encoded bytes.
int32_t saveBaseAndAllFormats(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                              const QString &basePath, const SaveJob &job, QByteArray *baseBytes = nullptr);

// A record printed for the log: {key = value; ...} in key order.
QString describeRecord(const QVariantMap &record);

} // namespace SaveAll
