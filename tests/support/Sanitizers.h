#pragma once

// Whether this build runs under AddressSanitizer, whose allocator and
// descriptor use some tests must allow for. GCC says so with a macro of its
// own, clang only through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define ORVANA_UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANA_UNDER_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(ORVANA_UNDER_ADDRESS_SANITIZER)
inline constexpr bool underAddressSanitizer = true;
#else
inline constexpr bool underAddressSanitizer = false;
#endif
