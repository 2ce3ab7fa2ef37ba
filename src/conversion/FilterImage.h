#pragma once
// The image a named filter yields: a description of how to compute pixels, not pixels.
// Each node names its input and its own operation; nothing is computed until the final
// image is rendered (Renderer.h), and then only for the rectangle asked for.
// Coordinates have their origin at the lower-left corner, one unit per source pixel.

#include <QRectF>
#include <memory>
#include <vector>

class Picture;
class FilterImage;
using FilterImagePtr = std::shared_ptr<const FilterImage>;

// One per-pixel colour operation. Which parameters are read depends on the kind; the
// formulas live in ColourOps.cpp.
struct ColourOp {
    enum class Kind { ColorControls, Exposure, ToneCurve, Vibrance, TemperatureAndTint, PhotoEffectTonal, SepiaTone, ColorPosterize, PhotoEffectChrome };
    Kind kind = Kind::Exposure;
    double contrast = 1.0, saturation = 1.0, brightness = 0.0; // ColorControls
    double ev = 0.0;                                            // Exposure
    double curveX[5] = {0.0, 0.25, 0.5, 0.75, 1.0};             // ToneCurve
    double curveY[5] = {0.0, 0.25, 0.5, 0.75, 1.0};
    double amount = 0.0;                                        // Vibrance
    double neutralK = 6500.0, neutralTint = 0.0;                // TemperatureAndTint
    double targetK = 6500.0, targetTint = 0.0;
    double intensity = 1.0;                                     // SepiaTone
    double levels = 6.0;                                        // ColorPosterize
};

class FilterImage {
public:
    enum class Kind { Source, Clamp, Colour, Scale, Sharpen, Crop };

    // A picture as the start of a chain: its bitmap as it is (see Renderer.h for which
    // representation and level is read).
    static FilterImagePtr fromPicture(std::shared_ptr<const Picture> picture);
    // Edge pixels extended without limit.
    static FilterImagePtr clamped(FilterImagePtr input);
    static FilterImagePtr coloured(FilterImagePtr input, const ColourOp &op);
    // Uniform scale about the origin; aspectRatio stretches the width only.
    static FilterImagePtr scaled(FilterImagePtr input, double scale, double aspectRatio);
    static FilterImagePtr sharpened(FilterImagePtr input, double sharpness);
    static FilterImagePtr cropped(FilterImagePtr input, const QRectF &rect);

    Kind kind() const { return kind_; }
    const FilterImagePtr &input() const { return input_; }
    // The rectangle where the image has content; infinite() after a clamp.
    QRectF extent() const { return extent_; }
    bool isInfinite() const { return infinite_; }

    const std::shared_ptr<const Picture> &picture() const { return picture_; }
    const ColourOp &colourOp() const { return colour_; }
    double scale() const { return scale_; }
    double aspectRatio() const { return aspect_; }
    double sharpness() const { return sharpness_; }
    QRectF cropRect() const { return extent_; }

private:
    explicit FilterImage(Kind kind) : kind_(kind) {}
    Kind kind_;
    FilterImagePtr input_;
    QRectF extent_;
    bool infinite_ = false;
    std::shared_ptr<const Picture> picture_;
    ColourOp colour_;
    double scale_ = 1.0, aspect_ = 1.0, sharpness_ = 0.0;
};
