#pragma once
// Lanczos weights with three lobes, computed once per output column (or row) and reused
// for every line. When shrinking, the kernel is widened by 1/scale so it also filters
// out what the smaller grid cannot hold.

#include <cstddef>
#include <vector>

double lanczos3(double x);

struct FilterWeights {
    int count = 0;           // outputs
    int taps = 0;            // weights per output (the longest span; shorter ones padded with 0)
    std::vector<int> start;  // first source index of each output
    std::vector<int> length; // how many of its taps are used
    std::vector<float> weights;
    int firstSource = 0;     // the source indices any output reads: [firstSource, lastSource]
    int lastSource = -1;

    const float *of(int i) const { return weights.data() + size_t(i) * size_t(taps); }
};

// Output i is centred at source index position origin + i * step (pixel centres at
// integers); scale is output pixels per source pixel. Source indices run 0..sourceLength-1;
// clampEdges extends the edge samples outward, otherwise outside samples count as 0.
FilterWeights lanczosWeights(int count, double origin, double step, double scale, int sourceLength, bool clampEdges);
