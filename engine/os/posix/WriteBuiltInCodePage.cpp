// Writes the tables of a code page, as this system's ICU reads them, as a header for
// the engine to build in: see BuiltInCodePage.cpp.
//
// kestrin-builtincodepage NAME HEADER

#include <unicode/uversion.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "os/CodePageNames.h"
#include "os/CodePageTables.h"

namespace {

using kestrin::os::CodePageTables;

template <typename Values>
void WriteArray(std::ostream& out, const char* type, const char* name, const Values& values) {
    out << "inline constexpr " << type << ' ' << name << '[' << values.size() << "] = {";
    std::size_t at = 0;
    for (const auto value : values) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X,", unsigned(value));
        out << (at++ % 8 == 0 ? "\n    " : " ") << text;
    }
    out << "\n};\n";
}

std::string Header(const std::string& name, unsigned number, const CodePageTables& tables) {
    std::ostringstream out;
    out << "// Made by kestrin-builtincodepage from ICU " U_ICU_VERSION ": the tables of " << name
        << ".\n#pragma once\n\n#include <cstdint>\n\n"
        << "namespace kestrin::os::builtin {\n\n"
        << "inline constexpr char kIcuVersion[] = \"" U_ICU_VERSION "\";\n"
        << "inline constexpr unsigned kNumber = " << number << ";\n";
    WriteArray(out, "bool", "kLead", tables.lead);
    WriteArray(out, "char32_t", "kSingles", tables.singles);
    WriteArray(out, "std::uint16_t", "kPairRow", tables.pairRow);
    WriteArray(out, "char32_t", "kPairs", tables.pairs);
    WriteArray(out, "bool", "kWrittenAsOneByte", tables.writtenAsOneByte);
    out << "\n}  // namespace kestrin::os::builtin\n";
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: kestrin-builtincodepage NAME HEADER\n";
        return 2;
    }
    const std::string name = argv[1];
    const auto known = kestrin::os::FindCodePageName(name);
    const auto tables = kestrin::os::ReadSystemCodePageTables(name);
    if (!known || !tables || tables->utf8) {
        std::cerr << "kestrin-builtincodepage: " << name << ": "
                  << (tables ? "not a code page of tables" : tables.Failure().Reason()) << '\n';
        return 1;
    }
    std::ofstream header(argv[2], std::ios::binary);
    header << Header(name, known->number, *tables);
    header.close();
    if (!header) {
        std::cerr << "kestrin-builtincodepage: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
