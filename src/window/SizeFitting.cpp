#include "SizeFitting.h"

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

} // namespace SizeFitting
