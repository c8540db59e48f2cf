// The logs' default code page, built in: its tables as the system's ICU read them
// when the program was built, used only with the very ICU they were read from.
// Opening the converter and reading its 15 000 pairs cost every run more than a
// millisecond of processor time: a run of a log of one line took 7.6 ms, and takes
// 6.2 ms with the copy.

#include <unicode/uversion.h>

#include <algorithm>
#include <iterator>
#include <optional>

#include "BuiltInCodePage.h"
#include "os/CodePageNames.h"
#include "os/CodePageTables.h"

namespace kestrin::os {
namespace {

constexpr unsigned kUtf8 = 65001;

bool IsTheRunningIcu() {
    UVersionInfo running;
    u_getVersion(running);
    char text[U_MAX_VERSION_STRING_LENGTH];
    u_versionToString(running, text);
    // ICU writes "72.1" for 72.1.0.0, as U_ICU_VERSION has it.
    return std::string_view(text) == builtin::kIcuVersion;
}

CodePageTables BuiltInTables() {
    CodePageTables tables;
    std::copy(std::begin(builtin::kLead), std::end(builtin::kLead), tables.lead.begin());
    std::copy(std::begin(builtin::kSingles), std::end(builtin::kSingles), tables.singles.begin());
    std::copy(std::begin(builtin::kPairRow), std::end(builtin::kPairRow), tables.pairRow.begin());
    tables.pairs.assign(std::begin(builtin::kPairs), std::end(builtin::kPairs));
    std::copy(std::begin(builtin::kWrittenAsOneByte), std::end(builtin::kWrittenAsOneByte),
              tables.writtenAsOneByte.begin());
    return tables;
}

}  // namespace

Result<CodePageTables> ReadCodePageTables(std::string_view name) {
    // Every name of the page opens the one converter of ICU's; a name only ICU knows
    // is ICU's to read. UTF-8, which the console may be in, has no tables at all.
    const std::optional<CodePageName> known = FindCodePageName(name);
    if (known && known->number == kUtf8) {
        CodePageTables tables;
        tables.utf8 = true;
        return tables;
    }
    if (known && known->number == builtin::kNumber && IsTheRunningIcu()) return BuiltInTables();
    return ReadSystemCodePageTables(name);
}

}  // namespace kestrin::os
