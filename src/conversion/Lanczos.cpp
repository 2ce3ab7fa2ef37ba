#include "Lanczos.h"

#include <algorithm>
#include <climits>
#include <cmath>

double lanczos3(double x)
{
    x = std::fabs(x);
    if (x < 1e-9)
        return 1.0;
    if (x >= 3.0)
        return 0.0;
    const double px = M_PI * x;
    return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

FilterWeights lanczosWeights(int count, double origin, double step, double scale, int sourceLength, bool clampEdges)
{
    FilterWeights fw;
    fw.count = count;
    fw.start.assign(size_t(count), 0);
    fw.length.assign(size_t(count), 0);
    const double stretch = std::min(scale, 1.0);
    const double support = 3.0 / stretch;
    std::vector<std::vector<double>> all(static_cast<size_t>(count));
    int firstSource = INT_MAX, lastSource = INT_MIN;
    std::vector<double> folded;
    for (int i = 0; i < count; ++i) {
        const double u = origin + i * step;
        const int lo = int(std::ceil(u - support)), hi = int(std::floor(u + support));
        double sum = 0.0;
        for (int j = lo; j <= hi; ++j)
            sum += lanczos3((j - u) * stretch);
        if (sum == 0.0)
            sum = 1.0;
        const int first = clampEdges ? std::clamp(lo, 0, sourceLength - 1) : std::max(lo, 0);
        const int last = clampEdges ? std::clamp(hi, 0, sourceLength - 1) : std::min(hi, sourceLength - 1);
        folded.assign(size_t(std::max(0, last - first + 1)), 0.0);
        for (int j = lo; j <= hi; ++j) {
            int k = j;
            if (clampEdges)
                k = std::clamp(j, 0, sourceLength - 1);
            else if (j < 0 || j >= sourceLength)
                continue;
            folded[size_t(k - first)] += lanczos3((j - u) * stretch) / sum;
        }
        // Tiny edge weights cost a full multiply each; drop the ones that cannot show.
        size_t b = 0, e = folded.size();
        while (b < e && std::fabs(folded[b]) < 1e-7)
            ++b;
        while (e > b && std::fabs(folded[e - 1]) < 1e-7)
            --e;
        fw.start[size_t(i)] = first + int(b);
        all[size_t(i)].assign(folded.begin() + long(b), folded.begin() + long(e));
        if (e > b) {
            firstSource = std::min(firstSource, first + int(b));
            lastSource = std::max(lastSource, first + int(e) - 1);
        }
        fw.taps = std::max(fw.taps, int(e - b));
    }
    fw.taps = std::max(fw.taps, 1);
    fw.weights.assign(size_t(count) * size_t(fw.taps), 0.0f);
    for (int i = 0; i < count; ++i)
        for (size_t k = 0; k < all[size_t(i)].size(); ++k)
            fw.weights[size_t(i) * size_t(fw.taps) + k] = float(all[size_t(i)][k]);
    if (firstSource == INT_MAX) {
        firstSource = 0;
        lastSource = -1;
    }
    for (int i = 0; i < count; ++i) {
        fw.length[size_t(i)] = int(all[size_t(i)].size());
        if (all[size_t(i)].empty())
            fw.start[size_t(i)] = std::max(firstSource, 0);
    }
    fw.firstSource = firstSource;
    fw.lastSource = lastSource;
    return fw;
}
