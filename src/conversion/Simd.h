#pragma once
// Hot loops are also built for processors with AVX2 and FMA; the loader picks the clone
// the processor can run. Plain C++ either way.
// Not under ThreadSanitizer: the loader runs the clone resolvers before the sanitizer's
// runtime exists, and the instrumented resolvers crash the program at start.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define QP_HOT __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define QP_HOT
#endif
