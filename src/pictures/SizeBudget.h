#pragma once
// Encoding within a file-size budget: the highest quality step of a lossy encoder whose
// file is no larger than the budget, searched over pixels rendered once.

#include "ImageEncoders.h"

#include <QByteArray>
#include <functional>

// The outcome of a search over a quality scale.
struct StepSearch {
    int step = 0;     // the highest step found to fit, or the lowest when none fits
    bool fits = false;
    int tries = 0;    // how many sizes were asked for
};

// Searches [scale.lowest, scale.highest] for the highest step whose size is at most
// maxBytes, starting at `start`, assuming sizes grow with the step. Each try narrows a
// bracket of a fitting step below a step that does not fit, guessing by interpolating the
// sizes' logarithms (file size grows about exponentially with quality) and bisecting when
// guesses stop closing the bracket. The step found fits and the next one does not.
StepSearch highestStepWithin(QualityScale scale, int start, qint64 maxBytes, const std::function<qint64(int step)> &sizeAt);

struct BudgetedEncoding {
    QByteArray bytes;              // empty when encoding failed (logged)
    float compressionFactor = 0.0f; // what the bytes were encoded at
    bool overBudget = false;       // larger than the budget: lossless, or even at the lowest step
    int encodes = 0;
};

// Encodes at compressionFactor, or, with maxBytes above 0, at the highest step of a lossy
// encoding's scale that fits (starting the search from compressionFactor's step); when
// none fits, at the lowest step. A lossless encoding is encoded once, as it is.
BudgetedEncoding encodeWithinBudget(const PixelBuffer &pixels, ImageEncoding encoding, float compressionFactor, qint64 maxBytes,
                                    int threads = 0);
