#pragma once
// Writing one picture in every output the person asked for: the base output and each
// selected format beside it. Widget-free, so the batch runs it on a snapshot of the
// window's settings taken on the main thread.
//
// Making the outputs and putting them in place are two steps: the batch makes the outputs
// of the next pictures while it writes those of the current one, and writes in the batch's
// order only.

#include "PhotoManipulator.h"
#include "SafeFileCopy.h"
#include "UnwrittenOutputs.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
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

// One output, made and waiting to be put in place.
struct MadeOutput {
    QString path;
    QByteArray bytes; // empty: it could not be made
    QString why;      // why not, worded to follow the file's name
    QString overBudget; // why it is larger than the budget; empty when within it
    Replacing replacing = Replacing::Allowed;
};

// A picture's outputs, made: the base output first, then the selected formats in list order.
struct MadeOutputs {
    std::vector<MadeOutput> outputs;
    int32_t scaledUp = 0;                 // upscaling flags (only with warnAboutUpscaling on)
    std::vector<UnwrittenOutput> refused; // formats that can have no path
    QStringList logLines;                 // logged when written, so the log follows the writing
};

// What a save-all operation did besides writing.
struct SaveOutcome {
    int32_t scaledUp = 0; // upscaling flags (only with warnAboutUpscaling on)
    std::vector<UnwrittenOutput> unwritten;
    std::vector<UnwrittenOutput> overBudget; // written, but larger than the budget
    int written = 0; // files put in place
};

// Which engine converts: the window's own, shared with the preview (the conversion then
// runs under conversionMutex too), or one of the caller's, free to run beside a preview.
enum class Engine { SharedWithPreview, Private };

// Makes every output of the picture at basePath without writing anything. `stop`, once
// set, ends the work between two outputs; what was made is then incomplete.
MadeOutputs makeBaseAndAllFormats(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex,
                                  const std::shared_ptr<const Picture> &picture, const QString &basePath, const SaveJob &job,
                                  const std::atomic<bool> *stop = nullptr);

// Puts the outputs in place in their order, each through the temp preview file of the
// type (replaced and copied under conversionMutex), after logging the lines of making them.
// A destination is replaced only by a complete output; one that could not be made stays.
SaveOutcome writeMadeOutputs(const MadeOutputs &made, qint64 fileFormat, std::mutex &conversionMutex);

// The save-all operation: the base output at basePath, then each selected format in list
// order beside it. baseBytes, when given, receives the base output's encoded bytes.
SaveOutcome saveBaseAndAllFormats(PhotoManipulator &engine, Engine kind, std::mutex &conversionMutex, const std::shared_ptr<const Picture> &picture,
                                  const QString &basePath, const SaveJob &job, QByteArray *baseBytes = nullptr);

// The selected formats' paths beside basePath, in list order; formats that cannot have one
// (see SavingRules::additionalFormatPath) are left out.
QStringList formatPaths(const QString &basePath, const QVariantList &formats);

// A record printed for the log: {key = value; ...} in key order.
QString describeRecord(const QVariantMap &record);

} // namespace SaveAll
