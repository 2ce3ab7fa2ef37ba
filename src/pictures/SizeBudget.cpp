#include "SizeBudget.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// Before two sizes are known, the size is taken to double every this many steps: about
// what JPEG, WebP and AVIF show on photos between the middle and the top of their scales.
constexpr double kStepsPerDoubling = 10.0;

} // namespace

StepSearch highestStepWithin(QualityScale scale, int start, qint64 maxBytes, const std::function<qint64(int step)> &sizeAt)
{
    StepSearch out;
    // below fits, above does not; the steps between them are unknown.
    int below = scale.lowest - 1, above = scale.highest + 1;
    struct Point {
        int step;
        double logSize;
    };
    Point belowPoint{}, abovePoint{}, last{}, beforeLast{};
    const double target = std::log(double(std::max<qint64>(maxBytes, 1)));
    // The step where the line through two points reaches the target; none when it is flat.
    auto along = [target](Point a, Point b) -> std::optional<double> {
        if (b.step == a.step || !(std::abs(b.logSize - a.logSize) > 1e-9))
            return std::nullopt;
        const double slope = (b.logSize - a.logSize) / (b.step - a.step);
        if (slope <= 0) // sizes that fall with quality say nothing about where the target is
            return std::nullopt;
        return a.step + (target - a.logSize) / slope;
    };
    int guess = std::clamp(start, scale.lowest, scale.highest);
    int sameSide = 0;
    bool lastFits = false;
    while (above - below > 1) {
        const qint64 size = sizeAt(guess);
        ++out.tries;
        if (size < 0) { // the encoder failed: nothing to search
            out.step = guess;
            return out;
        }
        const bool fits = size <= maxBytes;
        sameSide = out.tries > 1 && fits == lastFits ? sameSide + 1 : 0;
        lastFits = fits;
        // A size of 0 would have no logarithm; one byte is as good for guessing.
        const Point point{guess, std::log(double(std::max<qint64>(size, 1)))};
        beforeLast = last;
        last = point;
        (fits ? below : above) = guess;
        (fits ? belowPoint : abovePoint) = point;
        if (above - below <= 1)
            break;
        // The line through the last two points follows the curve where the search now is;
        // the bracket's ends are the fallback.
        const bool bracketed = below >= scale.lowest && above <= scale.highest;
        std::optional<double> next;
        if (bracketed && sameSide >= 3) // guesses keep landing on one side: halve the bracket instead
            next = 0.5 * (below + above);
        if (!next && out.tries >= 2)
            next = along(beforeLast, last);
        if (!next && bracketed)
            next = along(belowPoint, abovePoint);
        if (!next) // one point, or a flat line: sizes double about every kStepsPerDoubling steps
            next = point.step + kStepsPerDoubling * (target - point.logSize) / std::log(2.0);
        guess = std::clamp(int(std::floor(*next)), below + 1, above - 1);
    }
    out.fits = below >= scale.lowest;
    out.step = out.fits ? below : scale.lowest;
    return out;
}

BudgetedEncoding encodeWithinBudget(const PixelBuffer &pixels, ImageEncoding encoding, float compressionFactor, qint64 maxBytes, int threads)
{
    BudgetedEncoding out;
    const QualityScale scale = qualityScaleFor(encoding);
    if (maxBytes <= 0 || !scale.hasSteps()) {
        out.bytes = encodeImage(pixels, encoding, compressionFactor, threads);
        out.compressionFactor = scale.hasSteps() ? compressionFactorFor(encoding, qualityStepFor(encoding, compressionFactor)) : compressionFactor;
        out.overBudget = maxBytes > 0 && out.bytes.size() > maxBytes;
        out.encodes = 1;
        return out;
    }
    // Only two encodings are worth keeping: the best that fits so far, and the lowest step's
    // for when nothing does.
    int bestStep = scale.lowest - 1;
    QByteArray best, lowest;
    bool failed = false;
    const StepSearch search = highestStepWithin(scale, qualityStepFor(encoding, compressionFactor), maxBytes, [&](int step) -> qint64 {
        QByteArray bytes = encodeImageAtQualityStep(pixels, encoding, step, threads);
        if (bytes.isEmpty()) {
            failed = true;
            return -1;
        }
        const qint64 size = bytes.size();
        if (step == scale.lowest)
            lowest = bytes;
        if (size <= maxBytes && step > bestStep) {
            bestStep = step;
            best = std::move(bytes);
        }
        return size;
    });
    out.encodes = search.tries;
    out.compressionFactor = compressionFactorFor(encoding, search.step);
    out.overBudget = !search.fits;
    if (!failed)
        out.bytes = search.fits ? best : lowest;
    return out;
}
