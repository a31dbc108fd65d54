// Instructions beyond the baseline x86-64 set that some loops use where the
// processor has them. Such a loop is a function compiled for them by
// attribute (KAVEL_AVX2_TARGET) and called only when UseAvx2() answers
// true; the rest of the program stays baseline.
#ifndef KAVEL_UTIL_CPU_FEATURES_H_
#define KAVEL_UTIL_CPU_FEATURES_H_

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KAVEL_HAVE_AVX2_TARGET 1
#define KAVEL_AVX2_TARGET __attribute__((target("avx2")))
#endif

namespace kavel {

// True when AVX2 loops may run: the processor has AVX2 (asked once) and
// tests have not turned them off. False where no such loop is compiled.
bool UseAvx2();

// For tests: turns the AVX2 loops off (false) or back on where the
// processor has them, so that both paths can be checked on one machine.
void AllowAvx2ForTesting(bool allowed);

}  // namespace kavel

#endif  // KAVEL_UTIL_CPU_FEATURES_H_
