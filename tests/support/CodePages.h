#pragma once

#include <stdexcept>
#include <string>

#include "text/CodePage.h"

namespace kestrin::testing {

/// The named code page; a test whose code page does not open fails.
inline const CodePage& Page(const std::string& name) {
    std::string error;
    const CodePage* page = CodePage::Shared(name, error);
    if (page == nullptr) throw std::runtime_error(error);
    return *page;
}

}  // namespace kestrin::testing
