#include "common/KeywordList.h"

namespace kestrin {

std::u16string KeywordListText(std::u16string_view entry) {
    std::u16string shown(entry);
    if (entry == u"\"") shown += u"   double quote";
    if (entry == u",") shown += u"   comma";
    return shown;
}

}  // namespace kestrin
