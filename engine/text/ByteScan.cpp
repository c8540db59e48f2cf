#include "text/ByteScan.h"

namespace kestrin::scan {

const LineSearches& FastestLineSearches() {
    static const LineSearches kPortable{FindBreak, FindBreakOrSeparator, FindBreakOrAnyOf};
#if defined(KESTRIN_HAVE_AVX2)
    static const LineSearches kAvx2{FindBreakAvx2, FindBreakOrSeparatorAvx2, FindBreakOrAnyOfAvx2};
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) return kAvx2;
#endif
    return kPortable;
}

}  // namespace kestrin::scan
