#include "FilterImage.h"

#include "SourceImage.h"

#include <QtGlobal>

FilterImagePtr FilterImage::fromPicture(std::shared_ptr<const Picture> picture)
{
    auto image = std::shared_ptr<FilterImage>(new FilterImage(Kind::Source));
    const QSize size = picture ? sourceSizeOf(*picture) : QSize();
    image->extent_ = QRectF(0, 0, size.width(), size.height());
    image->picture_ = std::move(picture);
    return image;
}

FilterImagePtr FilterImage::clamped(FilterImagePtr input)
{
    auto image = std::shared_ptr<FilterImage>(new FilterImage(Kind::Clamp));
    image->infinite_ = true;
    image->input_ = std::move(input);
    return image;
}

FilterImagePtr FilterImage::coloured(FilterImagePtr input, const ColourOp &op)
{
    auto image = std::shared_ptr<FilterImage>(new FilterImage(Kind::Colour));
    image->extent_ = input ? input->extent_ : QRectF();
    image->infinite_ = input && input->infinite_;
    image->colour_ = op;
    image->input_ = std::move(input);
    return image;
}

FilterImagePtr FilterImage::scaled(FilterImagePtr input, double scale, double aspectRatio)
{
    auto image = std::shared_ptr<FilterImage>(new FilterImage(Kind::Scale));
    if (input) {
        const QRectF e = input->extent_;
        image->extent_ = QRectF(e.x() * scale * aspectRatio, e.y() * scale, e.width() * scale * aspectRatio, e.height() * scale);
        image->infinite_ = input->infinite_;
    }
    image->scale_ = scale;
    image->aspect_ = aspectRatio;
    image->input_ = std::move(input);
    return image;
}

FilterImagePtr FilterImage::sharpened(FilterImagePtr input, double sharpness)
{
    auto image = std::shared_ptr<FilterImage>(new FilterImage(Kind::Sharpen));
    image->extent_ = input ? input->extent_ : QRectF();
    image->infinite_ = input && input->infinite_;
    image->sharpness_ = sharpness;
    image->input_ = std::move(input);
    return image;
}

FilterImagePtr FilterImage::cropped(FilterImagePtr input, const QRectF &rect)
{
    auto image = std::shared_ptr<FilterImage>(new FilterImage(Kind::Crop));
    if (input && !input->infinite_) {
        // QRectF::intersected drops rectangles with negative sizes; those stay empty.
        image->extent_ = rect.width() > 0 && rect.height() > 0 ? rect.intersected(input->extent_) : QRectF();
    } else {
        image->extent_ = rect;
    }
    image->input_ = std::move(input);
    return image;
}
