#pragma once
// The colour filters as one fused per-pixel pass over linear-light RGB rows. Every
// formula works on unclamped floats; only the curves clamp their input at 0. Parameters
// are held within bounds far beyond the sliders, so every step stays finite.

#include "FilterImage.h"

#include <functional>
#include <memory>
#include <vector>

namespace colour {
// The sRGB transfer curve, both ways, extended beyond 1 along the same power law.
double srgbToLinear(double encoded);
double linearToSrgb(double linear);
// Luma weights of linear sRGB (Rec. 709).
inline constexpr float kLumaR = 0.2126f, kLumaG = 0.7152f, kLumaB = 0.0722f;
// The linear sRGB colour of white light at the temperature (kelvin) and tint.
void whiteOf(double kelvin, double tint, double rgb[3]);
} // namespace colour

// A per-channel function of linear values, tabulated over sqrt(x) (fine steps near
// black, where the eye sees them), for 0 <= x <= 4; beyond that the last value holds,
// and NaN reads as 0.
class CurveTable {
public:
    explicit CurveTable(const std::function<double(double)> &f);
    float operator()(float x) const;
    void apply(float *values, int n) const;

private:
    static constexpr int kSize = 4096;
    static constexpr float kMaxU = 2.0f;
    std::vector<float> table_;
    std::vector<float> slope_;
    std::vector<float> pairs_; // value and slope side by side, for the AVX2 kernel
};

// A chain of colour operations compiled once, applied to rows of planar linear RGB.
class ColourPipeline {
public:
    explicit ColourPipeline(const std::vector<ColourOp> &ops);
    ~ColourPipeline();
    bool empty() const { return steps_.empty(); }
    void apply(float *r, float *g, float *b, int n) const;

    struct Step;

private:
    std::vector<std::shared_ptr<Step>> steps_;
};
