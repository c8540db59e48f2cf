#include "run/RunRequest.h"

namespace kestrin {

std::u16string BackKeywordFrom(std::u16string_view typed) {
    if (typed == kBackKeywordEntries[0]) return u" ";
    return std::u16string(typed);
}

}  // namespace kestrin
