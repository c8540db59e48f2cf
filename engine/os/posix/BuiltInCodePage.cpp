// The logs' default code page, built in: its tables as the system's ICU read them
// when the program was built (kestrin-builtincodepage writes them). Opening ICU's
// converter and reading its 15 000 pairs, and loading ICU at all, was a good part
// of every run of a short log.

#include <algorithm>
#include <iterator>

#include "BuiltInCodePageTables.h"
#include "os/CodePageTables.h"

namespace kestrin::os {

std::optional<CodePageTables> BuiltInCodePageTables(unsigned number) {
    if (number != builtin::kNumber) return std::nullopt;
    CodePageTables tables;
    std::copy(std::begin(builtin::kLead), std::end(builtin::kLead), tables.lead.begin());
    std::copy(std::begin(builtin::kSingles), std::end(builtin::kSingles), tables.singles.begin());
    std::copy(std::begin(builtin::kPairRow), std::end(builtin::kPairRow), tables.pairRow.begin());
    tables.heldPairs = builtin::kPairs;
    std::copy(std::begin(builtin::kWrittenAsOneByte), std::end(builtin::kWrittenAsOneByte),
              tables.writtenAsOneByte.begin());
    std::copy(std::begin(builtin::kLowerSingles), std::end(builtin::kLowerSingles),
              tables.lowerSingles.begin());
    return tables;
}

}  // namespace kestrin::os
