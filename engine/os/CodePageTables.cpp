#include "os/CodePageTables.h"

#include "os/CodePageNames.h"

namespace kestrin::os {

Result<CodePageTables> ReadCodePageTables(std::string_view name) {
    // A name of the program's own table tells UTF-8, which has no tables, and a page
    // the program holds, without a converter of the system's: opening one is a good
    // part of what a short log's run costs. Any other name is the system's to read.
    if (const std::optional<CodePageName> known = FindCodePageName(name)) {
        if (known->number == kUtf8CodePage) {
            CodePageTables tables;
            tables.utf8 = true;
            return tables;
        }
        if (std::optional<CodePageTables> held = BuiltInCodePageTables(known->number))
            return std::move(*held);
    }
    return ReadSystemCodePageTables(name);
}

}  // namespace kestrin::os
