#include "ColourKernelsAvx2.h"

#include "ColourOps.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

bool colourKernelsAvx2Available()
{
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
}

__attribute__((target("avx2,fma"))) int curveApplyAvx2(const float *pairs, float *values, int n, float scale, float maxU)
{
    const __m256 zero = _mm256_setzero_ps(), sc = _mm256_set1_ps(scale), top = _mm256_set1_ps(maxU);
    const double *table = reinterpret_cast<const double *>(pairs);
    const __m256d none = _mm256_setzero_pd(), all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        // max(x, 0) also turns a NaN into 0, so the index is always inside the table.
        const __m256 x = _mm256_max_ps(_mm256_loadu_ps(values + i), zero);
        const __m256 u = _mm256_min_ps(_mm256_mul_ps(_mm256_sqrt_ps(x), sc), top);
        const __m256i k = _mm256_cvttps_epi32(u);
        const __m256 f = _mm256_sub_ps(u, _mm256_cvtepi32_ps(k));
        // Each entry is a (value, slope) pair: one 64-bit gather brings both.
        const __m256 a = _mm256_castpd_ps(_mm256_mask_i32gather_pd(none, table, _mm256_castsi256_si128(k), all, 8));
        const __m256 b = _mm256_castpd_ps(_mm256_mask_i32gather_pd(none, table, _mm256_extracti128_si256(k, 1), all, 8));
        const __m256 t = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))), _MM_SHUFFLE(3, 1, 2, 0)));
        const __m256 s = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))), _MM_SHUFFLE(3, 1, 2, 0)));
        _mm256_storeu_ps(values + i, _mm256_fmadd_ps(f, s, t));
    }
    return i;
}

__attribute__((target("avx2,fma"))) int vibranceApplyAvx2(float *r, float *g, float *b, int n, float amount)
{
    const __m256 lr = _mm256_set1_ps(colour::kLumaR), lg = _mm256_set1_ps(colour::kLumaG), lb = _mm256_set1_ps(colour::kLumaB);
    const __m256 one = _mm256_set1_ps(1.0f), zero = _mm256_setzero_ps(), tiny = _mm256_set1_ps(1e-6f), am = _mm256_set1_ps(amount);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 R = _mm256_loadu_ps(r + i), G = _mm256_loadu_ps(g + i), B = _mm256_loadu_ps(b + i);
        const __m256 mx = _mm256_max_ps(R, _mm256_max_ps(G, B)), mn = _mm256_min_ps(R, _mm256_min_ps(G, B));
        const __m256 big = _mm256_cmp_ps(mx, tiny, _CMP_GT_OQ);
        __m256 s = _mm256_div_ps(_mm256_sub_ps(mx, mn), _mm256_max_ps(mx, tiny));
        s = _mm256_and_ps(big, _mm256_min_ps(_mm256_max_ps(s, zero), one));
        const __m256 factor = _mm256_fmadd_ps(am, _mm256_sub_ps(one, s), one);
        const __m256 l = _mm256_fmadd_ps(lr, R, _mm256_fmadd_ps(lg, G, _mm256_mul_ps(lb, B)));
        _mm256_storeu_ps(r + i, _mm256_fmadd_ps(factor, _mm256_sub_ps(R, l), l));
        _mm256_storeu_ps(g + i, _mm256_fmadd_ps(factor, _mm256_sub_ps(G, l), l));
        _mm256_storeu_ps(b + i, _mm256_fmadd_ps(factor, _mm256_sub_ps(B, l), l));
    }
    return i;
}

#else

bool colourKernelsAvx2Available() { return false; }
int curveApplyAvx2(const float *, float *, int, float, float) { return 0; }
int vibranceApplyAvx2(float *, float *, float *, int, float) { return 0; }

#endif
