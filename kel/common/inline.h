// Forces inlining of the few helpers in decoder hot loops (range coder steps, filters).
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define KEL_INLINE inline __attribute__((always_inline))
#define KEL_LIKELY(x) __builtin_expect(!!(x), 1)
#define KEL_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define KEL_INLINE inline
#define KEL_LIKELY(x) (x)
#define KEL_UNLIKELY(x) (x)
#endif
