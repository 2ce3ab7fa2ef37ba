#include "SrgbTables.h"

#include "ColourOps.h"

#include <cmath>
#include <vector>

namespace srgb {

const float *toLinear8()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(256);
        for (int i = 0; i < 256; ++i)
            t[i] = float(colour::srgbToLinear(i / 255.0));
        return t;
    }();
    return table.data();
}

const float *toLinear16()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(65536);
        for (int i = 0; i < 65536; ++i)
            t[i] = float(colour::srgbToLinear(i / 65535.0));
        return t;
    }();
    return table.data();
}

const uint8_t *fromLinearTable8()
{
    static const std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(65536);
        for (int i = 0; i < 65536; ++i)
            t[i] = uint8_t(std::lround(std::clamp(colour::linearToSrgb(i / 65535.0), 0.0, 1.0) * 255.0));
        return t;
    }();
    return table.data();
}

const uint16_t *fromLinearTable16()
{
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> t(65536);
        for (int i = 0; i < 65536; ++i)
            t[i] = uint16_t(std::lround(std::clamp(colour::linearToSrgb(i / 65535.0), 0.0, 1.0) * 65535.0));
        return t;
    }();
    return table.data();
}

} // namespace srgb
