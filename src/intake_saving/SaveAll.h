#pragma once
// Writing one picture in every output the person asked for: the base output and each
// selected format beside it. Widget-free, so the batch thread runs it on a snapshot of
// the window's settings taken on the main thread.

#include "PhotoManipulator.h"
#include "SafeFileCopy.h"
#include "UnwrittenOutputs.h"

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class Picture;

namespace SaveAll {

// Upscaling flags, as in ShrinkerController::scaledUp.
constexpr int32_t kFormatUpscaled = 1;
constexpr int32_t kBaseUpscaled = 2;

// Everything a save reads from the window and the preferences, read once.
struct SaveJob {
    QVariantMap baseSettings;  // the base conversion settings, from the controls
    qint64 fileFormat = 0;     // "fileFormat"
    qint64 fillColour = 0;     // "fillcolour"
    qint64 maxBytes = 0;       // the file-size budget of every output; 0: none
    bool warnAboutUpscaling = true;
    QVariantList formats;      // the stored format list
    // A batch never replaces a base output: one that appears while the picture is being
    // made is kept, and the output counts as unwritten.
    Replacing baseReplacing = Replacing::Allowed;

    OutputOptions outputOptions() const { return {fileFormat, fillColour, maxBytes}; }
};

// What a save-all operation did besides writing.
struct SaveOutcome {
    int32_t scaledUp = 0; // upscaling flags (only with warnAboutUpscaling on)
    std::vector<UnwrittenOutput> unwritten;
    std::vector<UnwrittenOutput> overBudget; // written, but larger than the budget
};

// Which engine converts: the window's own, shared with the preview (the conversion then
// runs under conversionMutex too), or one of the caller's, free to run beside a preview
// (only the temp preview file's write and copy then wait for the mutex).
enum class Engine { SharedWithPreview, Private };

// One output: encode, replace the temp preview file of the type and copy it to
// destination (empty: none), the file steps under conversionMutex. The destination is
// replaced only once the new output exists; a failed conversion leaves it as it was.
// Returns what was encoded; on failure no bytes, logged, and `whyNot` (when given) says
// why, worded to follow the destination's name.
EncodedOutput convertOutput(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                            const QVariantMap &settings, const OutputOptions &options, const QString &destination,
                            QString *whyNot = nullptr, Replacing replacing = Replacing::Allowed);

// The save-all operation: the base output at basePath, then each selected format in list
// order beside it, each within the job's budget (one over it is written, logged and listed
// in the outcome). baseBytes, when given, receives the base output's encoded bytes.
SaveOutcome saveBaseAndAllFormats(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                                  const QString &basePath, const SaveJob &job, QByteArray *baseBytes = nullptr);

// The selected formats' paths beside basePath, in list order; formats that cannot have one
// (see SavingRules::additionalFormatPath) are left out.
QStringList formatPaths(const QString &basePath, const QVariantList &formats);

// A record printed for the log: {key = value; ...} in key order.
QString describeRecord(const QVariantMap &record);

} // namespace SaveAll
