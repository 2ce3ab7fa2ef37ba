#pragma once
// The one near-equality test shared by the engine and the window.

// a and b are equal when a lies strictly within 0.00001 of b (in double precision).
inline bool thisFloatIsEqualToFloat(float a, float b)
{
    const double x = a;
    const double y = b;
    return x > y - 0.00001 && x < y + 0.00001;
}
