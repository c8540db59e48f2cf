#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "CodePage.h"

namespace kestrin::testing {

/// The named code page, opened once per test program.
inline const CodePage& Page(const std::string& name) {
    static std::map<std::string, std::unique_ptr<CodePage>> opened;
    std::string error;
    if (!opened[name]) opened[name] = CodePage::Open(name, error);
    if (!opened[name]) throw std::runtime_error(error);
    return *opened[name];
}

}  // namespace kestrin::testing
