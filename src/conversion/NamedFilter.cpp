#include "NamedFilter.h"

#include "Log.h"

#include <functional>

namespace {

using Inputs = std::map<QString, FilterValue>;
const QString kImage = QStringLiteral("inputImage");

double number(const Inputs &in, const QString &key)
{
    const auto it = in.find(key);
    return it != in.end() && std::holds_alternative<double>(it->second) ? std::get<double>(it->second) : 0.0;
}

FilterVector vec(const Inputs &in, const QString &key)
{
    const auto it = in.find(key);
    return it != in.end() && std::holds_alternative<FilterVector>(it->second) ? std::get<FilterVector>(it->second) : FilterVector();
}

FilterImagePtr colour(const FilterImagePtr &image, ColourOp op)
{
    return FilterImage::coloured(image, op);
}

struct Definition {
    Inputs defaults; // every input key with its default ("inputImage" included)
    std::function<FilterImagePtr(const FilterImagePtr &, const Inputs &)> output;
};

const std::map<QString, Definition> &definitions()
{
    using K = ColourOp::Kind;
    static const std::map<QString, Definition> table = [] {
        std::map<QString, Definition> t;
        auto op = [](K kind) { ColourOp o; o.kind = kind; return o; };
        t[QStringLiteral("CIAffineClamp")] = {{{QStringLiteral("inputTransform"), AffineTransform()}},
            [](const FilterImagePtr &image, const Inputs &) { return FilterImage::clamped(image); }};
        t[QStringLiteral("CIColorControls")] = {{{QStringLiteral("inputContrast"), 1.0}, {QStringLiteral("inputSaturation"), 1.0}, {QStringLiteral("inputBrightness"), 0.0}},
            [op](const FilterImagePtr &image, const Inputs &in) {
                ColourOp o = op(K::ColorControls);
                o.contrast = number(in, QStringLiteral("inputContrast"));
                o.saturation = number(in, QStringLiteral("inputSaturation"));
                o.brightness = number(in, QStringLiteral("inputBrightness"));
                return colour(image, o);
            }};
        t[QStringLiteral("CIExposureAdjust")] = {{{QStringLiteral("inputEV"), 0.0}},
            [op](const FilterImagePtr &image, const Inputs &in) {
                ColourOp o = op(K::Exposure);
                o.ev = number(in, QStringLiteral("inputEV"));
                return colour(image, o);
            }};
        Inputs curveDefaults;
        for (int i = 0; i < 5; ++i)
            curveDefaults[QStringLiteral("inputPoint%1").arg(i)] = FilterVector::vectorWithXY(i * 0.25, i * 0.25);
        t[QStringLiteral("CIToneCurve")] = {curveDefaults, [op](const FilterImagePtr &image, const Inputs &in) {
                ColourOp o = op(K::ToneCurve);
                for (int i = 0; i < 5; ++i) {
                    const FilterVector p = vec(in, QStringLiteral("inputPoint%1").arg(i));
                    o.curveX[i] = p.x;
                    o.curveY[i] = p.y;
                }
                return colour(image, o);
            }};
        t[QStringLiteral("CIVibrance")] = {{{QStringLiteral("inputAmount"), 0.0}},
            [op](const FilterImagePtr &image, const Inputs &in) {
                ColourOp o = op(K::Vibrance);
                o.amount = number(in, QStringLiteral("inputAmount"));
                return colour(image, o);
            }};
        t[QStringLiteral("CITemperatureAndTint")] = {{{QStringLiteral("inputNeutral"), FilterVector::vectorWithXY(6500, 0)},
                                                      {QStringLiteral("inputTargetNeutral"), FilterVector::vectorWithXY(6500, 0)}},
            [op](const FilterImagePtr &image, const Inputs &in) {
                ColourOp o = op(K::TemperatureAndTint);
                const FilterVector n = vec(in, QStringLiteral("inputNeutral"));
                const FilterVector tn = vec(in, QStringLiteral("inputTargetNeutral"));
                o.neutralK = n.x;
                o.neutralTint = n.y;
                o.targetK = tn.x;
                o.targetTint = tn.y;
                return colour(image, o);
            }};
        t[QStringLiteral("CIPhotoEffectTonal")] = {{}, [op](const FilterImagePtr &image, const Inputs &) { return colour(image, op(K::PhotoEffectTonal)); }};
        t[QStringLiteral("CIPhotoEffectChrome")] = {{}, [op](const FilterImagePtr &image, const Inputs &) { return colour(image, op(K::PhotoEffectChrome)); }};
        t[QStringLiteral("CISepiaTone")] = {{{QStringLiteral("inputIntensity"), 1.0}},
            [op](const FilterImagePtr &image, const Inputs &in) {
                ColourOp o = op(K::SepiaTone);
                o.intensity = number(in, QStringLiteral("inputIntensity"));
                return colour(image, o);
            }};
        t[QStringLiteral("CIColorPosterize")] = {{{QStringLiteral("inputLevels"), 6.0}},
            [op](const FilterImagePtr &image, const Inputs &in) {
                ColourOp o = op(K::ColorPosterize);
                o.levels = number(in, QStringLiteral("inputLevels"));
                return colour(image, o);
            }};
        t[QStringLiteral("CILanczosScaleTransform")] = {{{QStringLiteral("inputScale"), 1.0}, {QStringLiteral("inputAspectRatio"), 1.0}},
            [](const FilterImagePtr &image, const Inputs &in) {
                return FilterImage::scaled(image, number(in, QStringLiteral("inputScale")), number(in, QStringLiteral("inputAspectRatio")));
            }};
        t[QStringLiteral("CISharpenLuminance")] = {{{QStringLiteral("inputSharpness"), 0.4}},
            [](const FilterImagePtr &image, const Inputs &in) { return FilterImage::sharpened(image, number(in, QStringLiteral("inputSharpness"))); }};
        t[QStringLiteral("CICrop")] = {{{QStringLiteral("inputRectangle"), FilterVector::vectorWithXYZW(0, 0, 0, 0)}},
            [](const FilterImagePtr &image, const Inputs &in) {
                const FilterVector r = vec(in, QStringLiteral("inputRectangle"));
                return FilterImage::cropped(image, QRectF(r.x, r.y, r.z, r.w));
            }};
        for (auto &entry : t)
            entry.second.defaults[kImage] = FilterImagePtr();
        return t;
    }();
    return table;
}

} // namespace

NamedFilter::NamedFilter(QString name)
    : name_(std::move(name))
    , inputs_(definitions().at(name_).defaults)
{
}

std::unique_ptr<NamedFilter> NamedFilter::filterWithName(const QString &name)
{
    if (!definitions().count(name)) {
        qpLog(QStringLiteral("no filter named %1").arg(name));
        return nullptr;
    }
    return std::unique_ptr<NamedFilter>(new NamedFilter(name));
}

QStringList NamedFilter::filterNames()
{
    QStringList names;
    for (const auto &entry : definitions())
        names << entry.first;
    return names;
}

QStringList NamedFilter::inputKeys() const
{
    QStringList keys;
    for (const auto &entry : inputs_)
        keys << entry.first;
    return keys;
}

void NamedFilter::setValue(const FilterValue &value, const QString &key)
{
    const auto it = inputs_.find(key);
    if (it == inputs_.end()) {
        qpLog(QStringLiteral("%1 has no input %2").arg(name_, key));
        return;
    }
    if (it->second.index() != value.index()) {
        qpLog(QStringLiteral("%1: wrong kind of value for %2").arg(name_, key));
        return;
    }
    it->second = value;
}

FilterValue NamedFilter::valueForKey(const QString &key) const
{
    if (key == QLatin1String("outputImage"))
        return outputImage();
    const auto it = inputs_.find(key);
    return it == inputs_.end() ? FilterValue() : it->second;
}

FilterImagePtr NamedFilter::outputImage() const
{
    const FilterImagePtr image = std::get<FilterImagePtr>(inputs_.at(kImage));
    if (!image)
        return nullptr;
    return definitions().at(name_).output(image, inputs_);
}
