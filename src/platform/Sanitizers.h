#pragma once
// QP_UNDER_ASAN: AddressSanitizer reserves terabytes of address space, so address-space
// limits and peak-memory figures mean something else under it. GCC and clang say so
// in different ways.

#if defined(__SANITIZE_ADDRESS__)
#define QP_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QP_UNDER_ASAN 1
#endif
#endif
