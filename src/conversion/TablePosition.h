#pragma once
// Where a float becomes a position in a lookup table. Pixel values can be NaN after
// absurd adjustments; std::clamp and std::max pass NaN through, and converting NaN to an
// index is undefined (in practice far outside the table). The comparisons below are
// false for NaN, so it lands on 0.

// v within [0, last]; NaN and values below 0 give 0.
inline float tablePosition(float v, float last)
{
    return v > 0.0f ? (v < last ? v : last) : 0.0f;
}
