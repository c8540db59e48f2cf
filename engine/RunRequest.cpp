#include "RunRequest.h"

namespace kestrin {

std::u16string BackKeyword(const RunRequest& request) {
    if (request.keywordIndex == 0) return u" ";
    return request.keywordText;
}

std::int16_t KeywordIndexOf(std::u16string_view typed) {
    for (std::int16_t i = 0; i < 3; ++i) {
        if (typed == kBackKeywordEntries[i]) return i;
    }
    return -1;
}

}  // namespace kestrin
