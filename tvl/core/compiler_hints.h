// Hints for the decoders' hot loops, where the compiler supports them; plain code elsewhere.
#pragma once

#if defined(__GNUC__)
#define TVL_ALWAYS_INLINE inline __attribute__((always_inline))
// Placed after a lambda's parameter list.
#define TVL_INLINE_LAMBDA __attribute__((always_inline))
#define TVL_NOINLINE __attribute__((noinline))
#define TVL_LIKELY(x) __builtin_expect(!!(x), 1)
#define TVL_UNLIKELY(x) __builtin_expect(!!(x), 0)
#define TVL_PREFETCH(p) __builtin_prefetch(p)
#else
#define TVL_ALWAYS_INLINE inline
#define TVL_INLINE_LAMBDA
#define TVL_NOINLINE
#define TVL_LIKELY(x) (x)
#define TVL_UNLIKELY(x) (x)
#define TVL_PREFETCH(p)
#endif
