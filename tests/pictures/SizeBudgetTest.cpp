// The file-size budget: the search over a quality scale, and encoding within a budget
// checked against the encoders themselves.

#include "FileSizeBudget.h"
#include "SizeBudget.h"
#include "TestPictures.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(StepSearch, FindsAFittingStepWhoseNextDoesNotInAFewTries)
{
    auto exponential = [](int step) { return qint64(1000 * std::exp2(step / 10.0)); }; // 1000 .. 1,024,000
    auto jump = [](int step) { return qint64(step < 90 ? 2000 + 40 * step : 9000 + 100 * step); }; // JPEG's 4:4:4 from 90
    auto flat = [](int step) { return qint64(50000 + step); }; // guesses from the sizes' slope land far off
    // Encoders' sizes are not strictly monotonic: here step 41 is larger than 42 to 44.
    auto bumpy = [](int step) { return qint64(step == 41 ? 60000 : 1000 * (step + 10)); };
    auto failing = [](int) { return qint64(-1); };
    // {case, sizes, budget, the step the search starts at, the step found (-1: any), whether it fits, most tries}
    const std::tuple<const char *, std::function<qint64(int)>, qint64, int, int, bool, int> cases[] = {
        {"between two steps", exponential, 13500, 98, 37, true, 7},
        {"exactly one step's size", exponential, exponential(60), 0, 60, true, 7},
        {"from below", exponential, 200000, 3, 76, true, 7},
        {"the top fits at once", exponential, 2000000, 100, 100, true, 7},
        {"nothing fits", exponential, 999, 50, 0, false, 7},
        {"only the lowest fits", exponential, 1000, 80, 0, true, 7},
        {"below the jump", jump, 8000, 98, 89, true, 7},
        {"above the jump", jump, 18950, 40, 99, true, 7},
        {"flat sizes", flat, 50042, 99, 42, true, 7},
        {"a dip, from below", bumpy, 54000, 0, -1, true, 7},
        {"a dip, from the top", bumpy, 54000, 100, -1, true, 7},
        {"a failing encoder ends the search", failing, 1000, 20, -1, false, 1},
    };
    for (const auto &[name, size, maxBytes, start, step, fits, tries] : cases) {
        const StepSearch found = highestStepWithin({0, 100}, start, maxBytes, size);
        EXPECT_EQ(found.fits, fits) << name;
        EXPECT_TRUE(step < 0 || found.step == step) << name << ": step " << found.step;
        EXPECT_TRUE(!fits || (size(found.step) <= maxBytes && (found.step == 100 || size(found.step + 1) > maxBytes))) << name;
        EXPECT_LE(found.tries, tries) << name; // halving 101 steps takes 7
    }
}

// The search's rule, on the encoders' own sizes: a step that fits, whose next does not.
TEST(SizeBudget, EachLossyTypeGetsAQualityThatFitsWhoseNextStepDoesNot)
{
    const auto photo = TestPictures::photo(160, 120);
    for (const ImageEncoding encoding : {ImageEncoding::JPEG, ImageEncoding::WebP, ImageEncoding::AVIF}) {
        const QualityScale scale = qualityScaleFor(encoding);
        auto sizeAt = [&](int step) { return encodeImageAtQualityStep(*photo, encoding, step).size(); };
        EXPECT_EQ(sizeAt(scale.highest + 40), sizeAt(scale.highest)) << int(encoding); // held to the scale
        for (const double at : {0.33, 0.8}) {
            const int below = scale.lowest + int(at * (scale.highest - scale.lowest));
            const qint64 budget = (sizeAt(below) + sizeAt(below + 1)) / 2;
            const BudgetedEncoding out = encodeWithinBudget(*photo, encoding, 0.98f, budget);
            const int step = qualityStepFor(encoding, out.compressionFactor);
            const std::string name = std::to_string(int(encoding)) + " budget " + std::to_string(budget) + " step " + std::to_string(step);
            EXPECT_FALSE(out.overBudget) << name;
            EXPECT_LE(out.bytes.size(), budget) << name;
            EXPECT_GT(sizeAt(step + 1), budget) << name;
            EXPECT_EQ(out.bytes, encodeImageAtQualityStep(*photo, encoding, step)) << name;
            EXPECT_LE(out.encodes, 7) << name; // halving 101 steps takes 7
        }
    }
}

TEST(SizeBudget, WhatCannotFitIsMadeAtTheLowestQualityOrAsItIs)
{
    const auto photo = TestPictures::photo(64, 48);
    const std::tuple<ImageEncoding, qint64, bool, QByteArray> cases[] = {
        {ImageEncoding::AVIF, 20, true, encodeImageAtQualityStep(*photo, ImageEncoding::AVIF, 0)},
        {ImageEncoding::JPEG, 20, true, encodeImageAtQualityStep(*photo, ImageEncoding::JPEG, 1)},
        {ImageEncoding::PNG, 20, true, encodeImage(*photo, ImageEncoding::PNG, 0.5f)},
    };
    for (const auto &[encoding, maxBytes, overBudget, expected] : cases) {
        const BudgetedEncoding out = encodeWithinBudget(*photo, encoding, 0.5f, maxBytes);
        EXPECT_EQ(out.overBudget, overBudget) << int(encoding) << " within " << maxBytes;
        EXPECT_EQ(out.bytes, expected) << int(encoding) << " within " << maxBytes;
    }
}

// A byte over never reads as within.
TEST(SizeBudget, KilobytesAreThousandsOfBytesRoundedUp)
{
    EXPECT_EQ(FileSizeBudget::kilobytesText(100000), QStringLiteral("100 kB"));
    EXPECT_EQ(FileSizeBudget::overBudgetReason(143200, 100000, 4),
              QStringLiteral("is 144 kB, over the budget of 100 kB even at the lowest quality"));
}
