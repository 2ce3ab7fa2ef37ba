#include "ColourOps.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace colour {

double srgbToLinear(double v)
{
    if (v <= 0.04045)
        return v / 12.92;
    return std::pow((v + 0.055) / 1.055, 2.4);
}

double linearToSrgb(double v)
{
    if (v <= 0.0031308)
        return v * 12.92;
    return 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

// Chromaticity of the CIE daylight locus from 4000 K, and of the black-body (Planckian)
// locus below it (Kim et al.'s cubic fit), so low temperatures glow like tungsten light.
static void chromaticity(double t, double &x, double &y)
{
    t = std::clamp(t, 1667.0, 25000.0);
    if (t >= 4000.0) {
        const double t2 = t * t, t3 = t2 * t;
        x = t <= 7000.0 ? -4.6070e9 / t3 + 2.9678e6 / t2 + 0.09911e3 / t + 0.244063
                        : -2.0064e9 / t3 + 1.9018e6 / t2 + 0.24748e3 / t + 0.237040;
        y = -3.0 * x * x + 2.870 * x - 0.275;
    } else {
        const double t2 = t * t, t3 = t2 * t;
        x = -0.2661239e9 / t3 - 0.2343589e6 / t2 + 0.8776956e3 / t + 0.179910;
        y = t >= 2222.0 ? -0.9549476 * x * x * x - 1.37418593 * x * x + 2.09137015 * x - 0.16748867
                        : -1.1063814 * x * x * x - 1.34811020 * x * x + 2.18555832 * x - 0.20219683;
    }
}

void whiteOf(double kelvin, double tint, double rgb[3])
{
    double x = 0, y = 0;
    chromaticity(kelvin, x, y);
    const double X = x / y, Y = 1.0, Z = (1.0 - x - y) / y;
    rgb[0] = 3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z;
    rgb[1] = -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z;
    rgb[2] = 0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z;
    // Tint: the white leans towards magenta (positive) or green, a hundredth of a stop per unit.
    rgb[1] *= std::exp2(-tint / 100.0);
}

} // namespace colour

CurveTable::CurveTable(const std::function<double(double)> &f)
    : table_(kSize + 1)
{
    for (int i = 0; i <= kSize; ++i) {
        const double u = double(i) / kSize * kMaxU;
        table_[i] = float(f(u * u));
    }
}

float CurveTable::operator()(float x) const
{
    const float u = std::sqrt(std::max(x, 0.0f)) * (kSize / kMaxU);
    if (u >= float(kSize))
        return table_[kSize];
    const int i = int(u);
    const float t = u - float(i);
    return table_[i] + t * (table_[i + 1] - table_[i]);
}

void CurveTable::apply(float *values, int n) const
{
    for (int i = 0; i < n; ++i)
        values[i] = (*this)(values[i]);
}

namespace {

using colour::kLumaB;
using colour::kLumaG;
using colour::kLumaR;

// A curve drawn in display levels, applied to linear values.
std::function<double(double)> inDisplayLevels(std::function<double(double)> f)
{
    return [f](double x) { return std::max(0.0, colour::srgbToLinear(f(colour::linearToSrgb(x)))); };
}

// A gentle S for the film looks: y = x - a sin(2 pi x) / (2 pi), monotone while a < 1,
// flatter in the shadows and highlights, steeper in the mid-tones.
double filmCurve(double x, double a)
{
    if (x <= 0.0 || x >= 1.0)
        return x;
    return x - a * std::sin(2.0 * M_PI * x) / (2.0 * M_PI);
}

// Monotone cubic (Fritsch-Carlson) through the tone curve's points: no overshoot, so a
// rising set of points never makes a level darker than a lower one.
class MonotoneCurve {
public:
    MonotoneCurve(const double *xs, const double *ys, int n)
    {
        std::vector<std::pair<double, double>> pts;
        for (int i = 0; i < n; ++i)
            pts.emplace_back(xs[i], ys[i]);
        std::sort(pts.begin(), pts.end());
        for (const auto &p : pts)
            if (x_.empty() || p.first > x_.back() + 1e-9) {
                x_.push_back(p.first);
                y_.push_back(p.second);
            }
        const size_t m = x_.size();
        slope_.assign(m, 0.0);
        if (m < 2)
            return;
        std::vector<double> d(m - 1);
        for (size_t i = 0; i + 1 < m; ++i)
            d[i] = (y_[i + 1] - y_[i]) / (x_[i + 1] - x_[i]);
        slope_[0] = d[0];
        slope_[m - 1] = d[m - 2];
        for (size_t i = 1; i + 1 < m; ++i)
            slope_[i] = d[i - 1] * d[i] <= 0.0 ? 0.0 : (d[i - 1] + d[i]) / 2.0;
        for (size_t i = 0; i + 1 < m; ++i) {
            if (d[i] == 0.0) {
                slope_[i] = slope_[i + 1] = 0.0;
                continue;
            }
            const double a = slope_[i] / d[i], b = slope_[i + 1] / d[i], h = a * a + b * b;
            if (h > 9.0) {
                const double tau = 3.0 / std::sqrt(h);
                slope_[i] = tau * a * d[i];
                slope_[i + 1] = tau * b * d[i];
            }
        }
    }

    double operator()(double x) const
    {
        if (x_.empty())
            return x;
        if (x_.size() == 1)
            return y_[0];
        if (x <= x_.front())
            return y_.front() + (x - x_.front()) * slope_.front();
        if (x >= x_.back())
            return y_.back() + (x - x_.back()) * slope_.back();
        const size_t i = size_t(std::upper_bound(x_.begin(), x_.end(), x) - x_.begin()) - 1;
        const double h = x_[i + 1] - x_[i], t = (x - x_[i]) / h;
        const double t2 = t * t, t3 = t2 * t;
        return (2 * t3 - 3 * t2 + 1) * y_[i] + (t3 - 2 * t2 + t) * h * slope_[i] + (-2 * t3 + 3 * t2) * y_[i + 1]
             + (t3 - t2) * h * slope_[i + 1];
    }

private:
    std::vector<double> x_, y_, slope_;
};

void mixWithLuma(float *r, float *g, float *b, int n, float factor)
{
    for (int i = 0; i < n; ++i) {
        const float l = kLumaR * r[i] + kLumaG * g[i] + kLumaB * b[i];
        r[i] = l + factor * (r[i] - l);
        g[i] = l + factor * (g[i] - l);
        b[i] = l + factor * (b[i] - l);
    }
}

} // namespace

struct ColourPipeline::Step {
    virtual ~Step() = default;
    virtual void apply(float *r, float *g, float *b, int n) const = 0;
};

namespace {

using Step = ColourPipeline::Step;

struct PerChannelCurve : Step {
    explicit PerChannelCurve(const std::function<double(double)> &f) : curve(f) {}
    void apply(float *r, float *g, float *b, int n) const override
    {
        curve.apply(r, n);
        curve.apply(g, n);
        curve.apply(b, n);
    }
    CurveTable curve;
};

// Saturation mixes each colour with its luma (0 gives grey, 1 the identity); contrast then
// scales display levels about mid-grey, and brightness shifts them.
struct ColorControls : Step {
    ColorControls(double saturation, double contrast, double brightness)
        : saturation(float(saturation))
    {
        if (contrast != 1.0 || brightness != 0.0)
            curve = std::make_unique<CurveTable>(inDisplayLevels([contrast, brightness](double v) { return (v - 0.5) * contrast + 0.5 + brightness; }));
    }
    void apply(float *r, float *g, float *b, int n) const override
    {
        if (saturation != 1.0f)
            mixWithLuma(r, g, b, n, saturation);
        if (curve) {
            curve->apply(r, n);
            curve->apply(g, n);
            curve->apply(b, n);
        }
    }
    float saturation;
    std::unique_ptr<CurveTable> curve;
};

// Exposure: linear light times 2^EV, as a camera's exposure would give.
struct Exposure : Step {
    explicit Exposure(double ev) : gain(float(std::exp2(ev))) {}
    void apply(float *r, float *g, float *b, int n) const override
    {
        for (int i = 0; i < n; ++i) {
            r[i] *= gain;
            g[i] *= gain;
            b[i] *= gain;
        }
    }
    float gain;
};

// Vibrance: the saturation change is scaled by (1 - s), s = (max - min) / max, so muted
// colours move most and already vivid ones hardly at all.
struct Vibrance : Step {
    explicit Vibrance(double amount) : amount(float(amount)) {}
    void apply(float *r, float *g, float *b, int n) const override
    {
        for (int i = 0; i < n; ++i) {
            const float mx = std::max(r[i], std::max(g[i], b[i]));
            const float mn = std::min(r[i], std::min(g[i], b[i]));
            const float s = mx > 1e-6f ? std::clamp((mx - mn) / mx, 0.0f, 1.0f) : 0.0f;
            const float factor = 1.0f + amount * (1.0f - s);
            const float l = kLumaR * r[i] + kLumaG * g[i] + kLumaB * b[i];
            r[i] = l + factor * (r[i] - l);
            g[i] = l + factor * (g[i] - l);
            b[i] = l + factor * (b[i] - l);
        }
    }
    float amount;
};

// White balance: the picture was taken under the neutral light and is shown as if under
// the target; each channel is scaled by white(neutral) / white(target) (von Kries in
// linear sRGB), normalised to keep the luma. A target above the neutral takes blue out and
// adds red: warmer, as in a raw developer.
struct Temperature : Step {
    Temperature(double neutralK, double neutralTint, double targetK, double targetTint)
    {
        double wn[3], wt[3];
        colour::whiteOf(neutralK, neutralTint, wn);
        colour::whiteOf(targetK, targetTint, wt);
        double g[3];
        for (int c = 0; c < 3; ++c)
            g[c] = wt[c] > 1e-9 ? wn[c] / wt[c] : 1.0;
        const double luma = kLumaR * g[0] + kLumaG * g[1] + kLumaB * g[2];
        for (int c = 0; c < 3; ++c)
            gain[c] = float(g[c] / luma);
    }
    // Temperatures a hair apart (a slider's log2 of 6500 read back) change nothing.
    bool isIdentity() const
    {
        return std::fabs(gain[0] - 1.0f) < 1e-5f && std::fabs(gain[1] - 1.0f) < 1e-5f && std::fabs(gain[2] - 1.0f) < 1e-5f;
    }
    void apply(float *r, float *g, float *b, int n) const override
    {
        for (int i = 0; i < n; ++i) {
            r[i] *= gain[0];
            g[i] *= gain[1];
            b[i] *= gain[2];
        }
    }
    float gain[3];
};

// Black-and-white film: the luma through a gentle S in display levels.
struct Tonal : Step {
    Tonal() : curve(inDisplayLevels([](double v) { return filmCurve(v, 0.35); })) {}
    void apply(float *r, float *g, float *b, int n) const override
    {
        for (int i = 0; i < n; ++i) {
            const float y = curve(kLumaR * r[i] + kLumaG * g[i] + kLumaB * b[i]);
            r[i] = g[i] = b[i] = y;
        }
    }
    CurveTable curve;
};

// Vivid colour film: 30% more saturation and a gentler S than the black-and-white look.
struct Chrome : Step {
    Chrome() : curve(inDisplayLevels([](double v) { return filmCurve(v, 0.25); })) {}
    void apply(float *r, float *g, float *b, int n) const override
    {
        mixWithLuma(r, g, b, n, 1.3f);
        curve.apply(r, n);
        curve.apply(g, n);
        curve.apply(b, n);
    }
    CurveTable curve;
};

// Sepia: the luma tinted with a warm brown of the same luma; the intensity (0 to 1) blends
// from the picture towards it, 0 leaving it unchanged.
struct Sepia : Step {
    explicit Sepia(double intensity) : k(float(std::clamp(intensity, 0.0, 1.0)))
    {
        const double tone[3] = {colour::srgbToLinear(0.94), colour::srgbToLinear(0.78), colour::srgbToLinear(0.55)};
        const double luma = kLumaR * tone[0] + kLumaG * tone[1] + kLumaB * tone[2];
        for (int c = 0; c < 3; ++c)
            tint[c] = float(tone[c] / luma);
    }
    void apply(float *r, float *g, float *b, int n) const override
    {
        for (int i = 0; i < n; ++i) {
            const float l = kLumaR * r[i] + kLumaG * g[i] + kLumaB * b[i];
            r[i] += k * (l * tint[0] - r[i]);
            g[i] += k * (l * tint[1] - g[i]);
            b[i] += k * (l * tint[2] - b[i]);
        }
    }
    float k;
    float tint[3];
};

// Posterize: each channel's display level v in [0, 1] becomes the nearest lower of L
// evenly spaced levels, floor(v L) / (L - 1) capped at 1 (L at least 2). Done exactly with
// the thresholds in linear light, so a flat colour never lands between two levels.
struct Posterize : Step {
    explicit Posterize(double levelsIn)
    {
        const int levels = int(std::clamp(std::floor(levelsIn), 2.0, 256.0));
        for (int k = 1; k < levels; ++k)
            thresholds.push_back(float(colour::srgbToLinear(double(k) / levels)));
        for (int k = 0; k < levels; ++k)
            values.push_back(float(colour::srgbToLinear(double(k) / (levels - 1))));
    }
    float map(float x) const
    {
        const size_t i = size_t(std::upper_bound(thresholds.begin(), thresholds.end(), x) - thresholds.begin());
        return values[i];
    }
    void apply(float *r, float *g, float *b, int n) const override
    {
        for (int i = 0; i < n; ++i) {
            r[i] = map(r[i]);
            g[i] = map(g[i]);
            b[i] = map(b[i]);
        }
    }
    std::vector<float> thresholds, values;
};

std::unique_ptr<Step> compile(const ColourOp &op)
{
    using K = ColourOp::Kind;
    switch (op.kind) {
    case K::ColorControls:
        return std::make_unique<ColorControls>(op.saturation, op.contrast, op.brightness);
    case K::Exposure:
        return std::make_unique<Exposure>(op.ev);
    case K::ToneCurve: {
        const MonotoneCurve curve(op.curveX, op.curveY, 5);
        return std::make_unique<PerChannelCurve>(inDisplayLevels([curve](double v) { return curve(v); }));
    }
    case K::Vibrance:
        return std::make_unique<Vibrance>(op.amount);
    case K::TemperatureAndTint: {
        auto step = std::make_unique<Temperature>(op.neutralK, op.neutralTint, op.targetK, op.targetTint);
        return step->isIdentity() ? nullptr : std::move(step);
    }
    case K::PhotoEffectTonal:
        return std::make_unique<Tonal>();
    case K::SepiaTone:
        return std::make_unique<Sepia>(op.intensity);
    case K::ColorPosterize:
        return std::make_unique<Posterize>(op.levels);
    case K::PhotoEffectChrome:
        return std::make_unique<Chrome>();
    }
    return nullptr;
}

} // namespace

ColourPipeline::ColourPipeline(const std::vector<ColourOp> &ops)
{
    for (const ColourOp &op : ops)
        if (auto step = compile(op))
            steps_.push_back(std::move(step));
}

ColourPipeline::~ColourPipeline() = default;

void ColourPipeline::apply(float *r, float *g, float *b, int n) const
{
    for (const auto &step : steps_)
        step->apply(r, g, b, n);
}
