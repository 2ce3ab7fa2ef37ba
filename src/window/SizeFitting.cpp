#include "SizeFitting.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace SizeFitting {

namespace {

qint32 roundedPixelCount(float value)
{
    if (std::isnan(value))
        return 0;
    const float rounded = std::round(value);
    if (rounded >= float(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (rounded <= float(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(rounded);
}

} // namespace

float aspectRatio(QSizeF points)
{
    if (points.width() == 0.0 || points.height() == 0.0)
        return 0.0f;
    return float(points.width() / points.height());
}

qint32 heightForWidth(float width, float aspectRatio)
{
    return roundedPixelCount(float(double(width) * (1.0 / double(aspectRatio))));
}

qint32 widthForHeight(float height, float aspectRatio)
{
    return roundedPixelCount(height * aspectRatio);
}

QSize wholePixels(QSizeF size)
{
    auto whole = [](double side) {
        return side >= 1.0 ? qint32(std::min(std::trunc(side), double(std::numeric_limits<qint32>::max()))) : 0;
    };
    return QSize(whole(size.width()), whole(size.height()));
}

QSize ownPixelSize(QSize largestPixelSize, QSizeF points)
{
    if (largestPixelSize.width() >= 1 && largestPixelSize.height() >= 1)
        return largestPixelSize;
    return wholePixels(points);
}

QSize fitWithinBox(QSize box, float aspectRatio, QSize ownSize, bool neverEnlarge)
{
    if (box.width() < 1 || box.height() < 1 || !(aspectRatio > 0.0f) || std::isinf(aspectRatio))
        return box;
    if (neverEnlarge && !ownSize.isEmpty() && ownSize.width() <= box.width() && ownSize.height() <= box.height())
        return ownSize;
    const qint32 height = heightForWidth(float(box.width()), aspectRatio);
    if (height <= box.height())
        return QSize(box.width(), std::max(height, 1));
    return QSize(std::clamp(widthForHeight(float(box.height()), aspectRatio), 1, box.width()), box.height());
}

} // namespace SizeFitting
