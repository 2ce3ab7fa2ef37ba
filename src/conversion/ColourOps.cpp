#include "ColourOps.h"

#include "ColourKernelsAvx2.h"
#include "TablePosition.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <variant>

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

namespace {

// No value in the pipeline goes beyond this (2^20 times white): far past anything a
// picture can show, and small enough that no later step overflows.
constexpr double kLimit = 1 << 20;
// Mixing factors (saturation, vibrance, contrast) and the curves' points stay within
// this; the sliders go nowhere near it.
constexpr double kFactorLimit = 1000.0;

// v within [-limit, limit]; NaN gives the neutral value.
double bounded(double v, double limit, double neutral)
{
    return std::isnan(v) ? neutral : std::clamp(v, -limit, limit);
}

// The parameters of an operation held where every step stays finite: an exposure of 200
// stops would make a gain of infinity, and black times infinity is NaN.
ColourOp withinBounds(ColourOp op)
{
    op.contrast = bounded(op.contrast, kFactorLimit, 1.0);
    op.saturation = bounded(op.saturation, kFactorLimit, 1.0);
    op.brightness = bounded(op.brightness, kFactorLimit, 0.0);
    op.ev = bounded(op.ev, std::log2(kLimit), 0.0);
    for (int i = 0; i < 5; ++i) {
        const double x = 0.25 * i;
        op.curveX[i] = bounded(op.curveX[i], kFactorLimit, x);
        op.curveY[i] = bounded(op.curveY[i], kFactorLimit, x);
    }
    op.amount = bounded(op.amount, kFactorLimit, 0.0);
    // Kelvin beyond the range are held by the white-point formulas; only NaN is taken here.
    op.neutralK = bounded(op.neutralK, kLimit, 6500.0);
    op.targetK = bounded(op.targetK, kLimit, 6500.0);
    op.neutralTint = bounded(op.neutralTint, kFactorLimit, 0.0);
    op.targetTint = bounded(op.targetTint, kFactorLimit, 0.0);
    op.intensity = bounded(op.intensity, kFactorLimit, 0.0);
    op.levels = bounded(op.levels, kFactorLimit, 0.0);
    return op;
}

} // namespace

CurveTable::CurveTable(const std::function<double(double)> &f)
    : table_(kSize + 1)
    , slope_(kSize + 1, 0.0f)
{
    for (int i = 0; i <= kSize; ++i) {
        const double u = double(i) / kSize * kMaxU;
        table_[size_t(i)] = float(bounded(f(u * u), kLimit, 0.0));
    }
    for (int i = 0; i < kSize; ++i)
        slope_[size_t(i)] = table_[size_t(i) + 1] - table_[size_t(i)];
    pairs_.resize(2 * table_.size());
    for (size_t i = 0; i < table_.size(); ++i) {
        pairs_[2 * i] = table_[i];
        pairs_[2 * i + 1] = slope_[i];
    }
}

float CurveTable::operator()(float x) const
{
    float v = x;
    apply(&v, 1);
    return v;
}

void CurveTable::apply(float *values, int n) const
{
    const float *table = table_.data();
    const float *slope = slope_.data();
    const float scale = float(kSize) / kMaxU;
    const int done = colourKernelsAvx2Available() ? curveApplyAvx2(pairs_.data(), values, n, scale, float(kSize)) : 0;
    for (int i = done; i < n; ++i) {
        const float u = tablePosition(std::sqrt(std::max(values[i], 0.0f)) * scale, float(kSize));
        const int k = int(u);
        values[i] = table[k] + (u - float(k)) * slope[k];
    }
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
using Fn = std::function<double(double)>;

// A per-channel function of the colour pipeline before it is tabulated. Runs of these
// between the mixing steps are composed into one table per channel, so a chain of
// contrast, exposure, tone curve and white balance costs one lookup per sample.
struct ChannelFn {
    Fn f[3];
    bool gainOnly = false;
    double gain[3] = {1.0, 1.0, 1.0};
    bool sameForAll = true;

    static ChannelFn curve(Fn fn)
    {
        ChannelFn c;
        c.f[0] = c.f[1] = c.f[2] = std::move(fn);
        return c;
    }
    static ChannelFn gains(double r, double g, double b)
    {
        ChannelFn c;
        c.gainOnly = true;
        c.gain[0] = r;
        c.gain[1] = g;
        c.gain[2] = b;
        c.sameForAll = r == g && g == b;
        for (int k = 0; k < 3; ++k)
            c.f[k] = [v = c.gain[k]](double x) { return x * v; };
        return c;
    }
    // this, then next
    ChannelFn then(const ChannelFn &next) const
    {
        ChannelFn c;
        c.gainOnly = gainOnly && next.gainOnly;
        c.sameForAll = sameForAll && next.sameForAll;
        for (int k = 0; k < 3; ++k) {
            c.gain[k] = gain[k] * next.gain[k];
            c.f[k] = [a = f[k], b = next.f[k]](double x) { return b(a(x)); };
        }
        return c;
    }
};

struct GainStep : Step {
    explicit GainStep(const double g[3]) : gain{float(g[0]), float(g[1]), float(g[2])} {}
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

struct CurveStep : Step {
    explicit CurveStep(const ChannelFn &fn)
    {
        for (int k = 0; k < (fn.sameForAll ? 1 : 3); ++k)
            tables.emplace_back(fn.f[k]);
    }
    void apply(float *r, float *g, float *b, int n) const override
    {
        tables[0].apply(r, n);
        tables[tables.size() > 1 ? 1 : 0].apply(g, n);
        tables[tables.size() > 1 ? 2 : 0].apply(b, n);
    }
    std::vector<CurveTable> tables;
};

// Saturation (and the film looks' colour boost): each colour mixed with its luma, 0
// giving grey and 1 the identity.
struct Saturation : Step {
    explicit Saturation(float factor) : factor(factor) {}
    void apply(float *r, float *g, float *b, int n) const override { mixWithLuma(r, g, b, n, factor); }
    float factor;
};

// Vibrance: the saturation change is scaled by (1 - s), s = (max - min) / max, so muted
// colours move most and already vivid ones hardly at all.
struct Vibrance : Step {
    explicit Vibrance(double amount) : amount(float(amount)) {}
    void apply(float *r, float *g, float *b, int n) const override
    {
        const int done = colourKernelsAvx2Available() ? vibranceApplyAvx2(r, g, b, n, amount) : 0;
        for (int i = done; i < n; ++i) {
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

// Grey: every channel takes the luma.
struct Grey : Step {
    void apply(float *r, float *g, float *b, int n) const override
    {
        for (int i = 0; i < n; ++i)
            r[i] = g[i] = b[i] = kLumaR * r[i] + kLumaG * g[i] + kLumaB * b[i];
    }
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

// White balance: the picture was taken under the neutral light and is shown as if under
// the target; each channel is scaled by white(neutral) / white(target) (von Kries in
// linear sRGB), normalised to keep the luma. A target above the neutral takes blue out and
// adds red: warmer, as in a raw developer.
void temperatureGains(const ColourOp &op, double gain[3])
{
    double wn[3], wt[3];
    colour::whiteOf(op.neutralK, op.neutralTint, wn);
    colour::whiteOf(op.targetK, op.targetTint, wt);
    for (int c = 0; c < 3; ++c)
        gain[c] = wt[c] > 1e-9 ? wn[c] / wt[c] : 1.0;
    const double luma = kLumaR * gain[0] + kLumaG * gain[1] + kLumaB * gain[2];
    for (int c = 0; c < 3; ++c)
        gain[c] /= luma;
}

// One filter as mixing steps and per-channel functions, in order.
using Piece = std::variant<std::shared_ptr<Step>, ChannelFn>;

void lower(const ColourOp &given, std::vector<Piece> &out)
{
    using K = ColourOp::Kind;
    const ColourOp op = withinBounds(given);
    auto step = [&out](std::shared_ptr<Step> s) { out.emplace_back(std::move(s)); };
    switch (op.kind) {
    case K::ColorControls:
        // Saturation mixes towards the luma; contrast then scales display levels about
        // mid-grey, and brightness shifts them.
        if (op.saturation != 1.0)
            step(std::make_shared<Saturation>(float(op.saturation)));
        if (op.contrast != 1.0 || op.brightness != 0.0)
            out.emplace_back(ChannelFn::curve(inDisplayLevels([c = op.contrast, b = op.brightness](double v) { return (v - 0.5) * c + 0.5 + b; })));
        break;
    case K::Exposure: {
        // Linear light times 2^EV, as a camera's exposure would give.
        const double g = std::exp2(op.ev);
        out.emplace_back(ChannelFn::gains(g, g, g));
        break;
    }
    case K::ToneCurve: {
        const MonotoneCurve curve(op.curveX, op.curveY, 5);
        out.emplace_back(ChannelFn::curve(inDisplayLevels([curve](double v) { return curve(v); })));
        break;
    }
    case K::Vibrance:
        step(std::make_shared<Vibrance>(op.amount));
        break;
    case K::TemperatureAndTint: {
        double g[3];
        temperatureGains(op, g);
        // Temperatures a hair apart (a slider's log2 of 6500 read back) change nothing.
        if (std::fabs(g[0] - 1.0) > 1e-5 || std::fabs(g[1] - 1.0) > 1e-5 || std::fabs(g[2] - 1.0) > 1e-5)
            out.emplace_back(ChannelFn::gains(g[0], g[1], g[2]));
        break;
    }
    case K::PhotoEffectTonal:
        // Black-and-white film: the luma through a gentle S in display levels.
        step(std::make_shared<Grey>());
        out.emplace_back(ChannelFn::curve(inDisplayLevels([](double v) { return filmCurve(v, 0.35); })));
        break;
    case K::SepiaTone:
        step(std::make_shared<Sepia>(op.intensity));
        break;
    case K::ColorPosterize:
        step(std::make_shared<Posterize>(op.levels));
        break;
    case K::PhotoEffectChrome:
        // Vivid colour film: 30% more saturation and a gentler S than the black-and-white look.
        step(std::make_shared<Saturation>(1.3f));
        out.emplace_back(ChannelFn::curve(inDisplayLevels([](double v) { return filmCurve(v, 0.25); })));
        break;
    }
}

} // namespace

ColourPipeline::ColourPipeline(const std::vector<ColourOp> &ops)
{
    std::vector<Piece> pieces;
    for (const ColourOp &op : ops)
        lower(op, pieces);
    std::optional<ChannelFn> pending;
    auto flush = [&] {
        if (!pending)
            return;
        if (pending->gainOnly)
            steps_.push_back(std::make_shared<GainStep>(pending->gain));
        else
            steps_.push_back(std::make_shared<CurveStep>(*pending));
        pending.reset();
    };
    for (const Piece &piece : pieces) {
        if (const auto *fn = std::get_if<ChannelFn>(&piece)) {
            pending = pending ? pending->then(*fn) : *fn;
        } else {
            flush();
            steps_.push_back(std::get<std::shared_ptr<Step>>(piece));
        }
    }
    flush();
}

ColourPipeline::~ColourPipeline() = default;

void ColourPipeline::apply(float *r, float *g, float *b, int n) const
{
    for (const auto &step : steps_)
        step->apply(r, g, b, n);
}
