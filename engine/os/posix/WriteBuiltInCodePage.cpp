// Writes the tables of a code page, as this system's ICU reads them, as a header for
// the engine to build in (see BuiltInCodePage.cpp). Where ICU cannot give the page
// whole, the header holds no page, and runs read ICU's converter as they need it,
// which refuses the page with its reason: the program builds either way.
//
// kestrin-builtincodepage NAME HEADER

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <variant>

#include "os/CodePageNames.h"
#include "os/CodePageTables.h"

namespace {

using kestrin::os::CodePageTables;

template <typename Values>
void WriteArray(std::ostream& out, const char* type, const char* name, const Values& values) {
    out << "inline constexpr " << type << ' ' << name << '[' << std::size(values) << "] = {";
    std::size_t at = 0;
    for (const auto value : values) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X,", unsigned(value));
        out << (at++ % 8 == 0 ? "\n    " : " ") << text;
    }
    out << "\n};\n";
}

// The page's tables.
std::string Header(const std::string& name, unsigned number, const CodePageTables& tables) {
    std::ostringstream out;
    out << "// Made by kestrin-builtincodepage: the tables of " << name
        << " as ICU read them.\n#pragma once\n\n#include <cstdint>\n\n"
        << "namespace kestrin::os::builtin {\n\n";
    out << "inline constexpr unsigned kNumber = " << number << ";\n";
    WriteArray(out, "bool", "kLead", tables.lead);
    WriteArray(out, "char32_t", "kSingles", tables.singles);
    WriteArray(out, "std::uint16_t", "kPairRow", tables.pairRow);
    WriteArray(out, "char32_t", "kPairs", tables.Pairs());
    WriteArray(out, "bool", "kWrittenAsOneByte", tables.writtenAsOneByte);
    WriteArray(out, "char32_t", "kLowerSingles", tables.lowerSingles);
    out << "\n}  // namespace kestrin::os::builtin\n";
    return out.str();
}

// The header of no page, and why.
struct NoPage {
    std::string why;
    std::string Header() const {
        return "// Made by kestrin-builtincodepage: no page built in (" + why +
               ").\n#pragma once\n\n#include \"os/posix/NoBuiltInCodePage.h\"\n";
    }
};

// The header for `name`, or the reason ICU gave for none.
std::variant<std::string, NoPage> HeaderFor(const std::string& name) {
    const auto known = kestrin::os::FindCodePageName(name);
    if (!known) return NoPage{name + ": not a name of the program's table"};
    const auto tables = kestrin::os::ReadSystemCodePageTables(name);
    if (!tables) return NoPage{name + ": " + tables.Failure().Reason()};
    if (tables->utf8) return NoPage{name + ": UTF-8 has no tables"};
    return Header(name, known->number, *tables);
}

// Written whole or not at all: a header cut short would not build.
bool WriteWhole(const std::string& path, const std::string& text) {
    const std::string part = path + ".part";
    std::ofstream file(part, std::ios::binary);
    file << text;
    file.close();
    if (file && std::rename(part.c_str(), path.c_str()) == 0) return true;
    std::remove(part.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: kestrin-builtincodepage NAME HEADER\n";
        return 2;
    }
    std::variant<std::string, NoPage> header = HeaderFor(argv[1]);
    if (const NoPage* none = std::get_if<NoPage>(&header)) {
        std::cerr << "kestrin-builtincodepage: no page built in: " << none->why << '\n';
        header = none->Header();
    }
    if (!WriteWhole(argv[2], std::get<std::string>(header))) {
        std::cerr << "kestrin-builtincodepage: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
