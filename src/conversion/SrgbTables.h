#pragma once
// The sRGB transfer curve as tables: samples to linear floats (256 or 65536 entries), and
// linear floats back to 8- or 16-bit samples through a 65536-step table, rounded once.

#include "TablePosition.h"

#include <algorithm>
#include <cstdint>

namespace srgb {
const float *toLinear8();  // 256 entries
const float *toLinear16(); // 65536 entries
const uint8_t *fromLinearTable8();
const uint16_t *fromLinearTable16();

inline int linearIndex(float v)
{
    return int(tablePosition(v, 1.0f) * 65535.0f + 0.5f);
}
inline uint8_t toSample8(float v) { return fromLinearTable8()[linearIndex(v)]; }
inline uint16_t toSample16(float v) { return fromLinearTable16()[linearIndex(v)]; }
} // namespace srgb
