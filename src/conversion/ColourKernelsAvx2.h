#pragma once
// AVX2 versions of the two costliest colour loops, beside their plain C++ versions in
// ColourOps.cpp; used when the processor has AVX2 and FMA.

bool colourKernelsAvx2Available();
// Returns how many leading values were done (a multiple of 8); the caller does the rest.
int curveApplyAvx2(const float *table, const float *slope, float *values, int n, float scale, float maxU);
int vibranceApplyAvx2(float *r, float *g, float *b, int n, float amount);
