#include "util/cpu_features.h"

namespace kavel {
namespace {

bool avx2_allowed = true;

}  // namespace

bool UseAvx2() {
#if defined(KAVEL_HAVE_AVX2_TARGET)
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return have && avx2_allowed;
#else
  return false;
#endif
}

void AllowAvx2ForTesting(bool allowed) { avx2_allowed = allowed; }

}  // namespace kavel
