// The logs' default code page, built in: its tables as the system's ICU read them
// when the program was built (kestrin-builtincodepage writes them), used only with
// the very version of ICU they were read from. Opening ICU's converter and reading
// its 15 000 pairs was a good part of every run of a short log.

#include <unicode/uversion.h>

#include <algorithm>
#include <iterator>

#include "BuiltInCodePageTables.h"
#include "os/CodePageTables.h"

namespace kestrin::os {
namespace {

// ICU's version names its functions, so that only a release of the same major
// version can run the program; a release's data is trusted to be its version's.
bool IsTheIcuRead() {
    UVersionInfo running;
    u_getVersion(running);
    return std::equal(std::begin(running), std::end(running), std::begin(builtin::kIcuVersion),
                      std::end(builtin::kIcuVersion));
}

}  // namespace

std::optional<CodePageTables> BuiltInCodePageTables(unsigned number) {
    if (number != builtin::kNumber || !IsTheIcuRead()) return std::nullopt;
    CodePageTables tables;
    std::copy(std::begin(builtin::kLead), std::end(builtin::kLead), tables.lead.begin());
    std::copy(std::begin(builtin::kSingles), std::end(builtin::kSingles), tables.singles.begin());
    std::copy(std::begin(builtin::kPairRow), std::end(builtin::kPairRow), tables.pairRow.begin());
    tables.pairs.assign(std::begin(builtin::kPairs), std::end(builtin::kPairs));
    std::copy(std::begin(builtin::kWrittenAsOneByte), std::end(builtin::kWrittenAsOneByte),
              tables.writtenAsOneByte.begin());
    return tables;
}

}  // namespace kestrin::os
