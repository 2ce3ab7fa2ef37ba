#pragma once
// The short message the window shows once a save or a batch has ended: how many files were
// written where, how a batch ended, and the outputs that could not be written (in the words
// of the alert that lists them too).

#include "UnwrittenOutputs.h"

#include <QString>

#include <vector>

struct SaveSummary {
    enum class Ending {
        Completed,
        Cancelled, // before picture `picture` of `pictures`
        Stopped,   // at picture `picture` of `pictures`, for the reason `whyStopped`
    };
    int written = 0;
    QString folder;
    Ending ending = Ending::Completed;
    int picture = 0;
    int pictures = 0;
    QString whyStopped; // "one.jpg exists already"
    std::vector<UnwrittenOutput> unwritten;
    std::vector<UnwrittenOutput> overBudget; // written, but larger than the budget

    // "Saved 30 files to FOLDER", a sentence on how the batch ended when it did not
    // complete, then the outputs not written and those over the budget, as the after-save alert lists them.
    QString text() const;
};
