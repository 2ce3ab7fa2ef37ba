#include "CanvasImageRep.h"

#include "ColourOps.h"
#include "SrgbTables.h"

CanvasImageRep::CanvasImageRep(std::shared_ptr<const Picture> picture, QSize canvasSize, QPoint offset, QColor fill)
    : picture_(std::move(picture))
    , canvas_(canvasSize)
    , offset_(offset)
    , fill_(fill)
{
}

std::shared_ptr<const PixelBuffer> CanvasImageRep::pixels() const
{
    auto out = PixelBuffer::create(canvas_.width(), canvas_.height(), 3, 8);
    if (!out)
        return nullptr;
    const QColor fill = fill_.toRgb();
    const float fillLinear[3] = {float(colour::srgbToLinear(fill.redF())), float(colour::srgbToLinear(fill.greenF())),
                                 float(colour::srgbToLinear(fill.blueF()))};
    std::shared_ptr<const PixelBuffer> src;
    if (picture_) {
        const QSize size = picture_->sourcePixelSize();
        for (auto it = picture_->representations().rbegin(); it != picture_->representations().rend() && !src; ++it)
            if ((*it)->pixelsWide() == size.width() && (*it)->pixelsHigh() == size.height() && (*it)->hasPixels())
                src = (*it)->pixels();
    }
    const float *lut8 = srgb::toLinear8();
    const float *lut16 = srgb::toLinear16();
    const int top = src ? canvas_.height() - offset_.y() - src->height : 0;
    for (int y = 0; y < canvas_.height(); ++y) {
        uint8_t *dst = out->row(y);
        const int sy = y - top;
        for (int x = 0; x < canvas_.width(); ++x) {
            float rgb[3] = {fillLinear[0], fillLinear[1], fillLinear[2]};
            const int sx = x - offset_.x();
            if (src && sy >= 0 && sy < src->height && sx >= 0 && sx < src->width) {
                const int ch = src->channels;
                const int colours = src->hasAlpha() ? ch - 1 : ch;
                float px[4];
                for (int c = 0; c < ch; ++c) {
                    float v;
                    if (src->bitsPerChannel == 8) {
                        const uint8_t s = src->row(sy)[sx * ch + c];
                        v = c < colours ? lut8[s] : s / 255.0f;
                    } else {
                        const uint16_t s = reinterpret_cast<const uint16_t *>(src->row(sy))[sx * ch + c];
                        v = c < colours ? lut16[s] : s / 65535.0f;
                    }
                    px[c] = v;
                }
                const float a = src->hasAlpha() ? px[ch - 1] : 1.0f;
                for (int c = 0; c < 3; ++c) {
                    const float v = colours == 1 ? px[0] : px[c];
                    rgb[c] = a * v + (1.0f - a) * rgb[c];
                }
            }
            for (int c = 0; c < 3; ++c)
                dst[x * 3 + c] = srgb::toSample8(rgb[c]);
        }
    }
    return out;
}
