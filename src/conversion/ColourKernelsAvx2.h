#pragma once
// AVX2 versions of the two costliest colour loops, beside their plain C++ versions in
// ColourOps.cpp; used when the processor has AVX2 and FMA.

bool colourKernelsAvx2Available();
// Returns how many leading values were done (a multiple of 8); the caller does the rest.
// pairs: the table as (value, slope) pairs, entry k at pairs[2k], pairs[2k + 1].
int curveApplyAvx2(const float *pairs, float *values, int n, float scale, float maxU);
int vibranceApplyAvx2(float *r, float *g, float *b, int n, float amount);
