#pragma once
// Outputs that could not be written, or were written over the file-size budget, and the
// alert that tells the person about them after a save or a batch (the log has a line for
// each as well). The texts are built by pure functions, so any other place that reports
// them says the same.

#include <QString>

#include <vector>

struct UnwrittenOutput {
    QString path;   // the output's full path; empty when the output has no path at all
    QString reason; // worded to follow the file's name ("is a folder"); a whole sentence when path is empty
};

namespace UnwrittenOutputs {

// At most this many outputs are listed in each part; the rest are counted.
constexpr int kListed = 10;

QString alertTitle();

// "This file could not be saved in FOLDER:" or "These N files ...", then one line per
// output: its name and the reason. Outputs in several folders are listed by full path.
QString alertText(const std::vector<UnwrittenOutput> &outputs);

// The same for outputs that were saved but are larger than the budget.
QString overBudgetTitle();
QString overBudgetText(const std::vector<UnwrittenOutput> &outputs);

// The one alert after a save: its title and text for both kinds (empty texts: no alert).
struct Alert {
    QString title, text;
};
Alert afterSaveAlert(const std::vector<UnwrittenOutput> &unwritten, const std::vector<UnwrittenOutput> &overBudget);

} // namespace UnwrittenOutputs
