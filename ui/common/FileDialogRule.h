#pragma once

#include <string>
#include <string_view>

#include "common/PathBox.h"

namespace kestrin {

/// The file dialog that fills a path box, whatever draws it.
struct FileDialogRule {
    /// Open takes only an existing file, exactly as named. Save adds the default
    /// extension to a name without a dot, refuses a read-only file and asks before
    /// replacing any other.
    enum class Mode { Open, Save };
    Mode mode;
    const char16_t* title;
    /// The filter's description and its one pattern.
    const char16_t* filterName;
    const char16_t* filterPattern;
    /// Without the dot; empty for none.
    const char16_t* defaultExtension;
};

FileDialogRule FileDialogRuleFor(PathBox box);

/// What the save dialog says when it refuses the read-only file `fileName`.
std::u16string ReadOnlyRefusal(std::u16string_view fileName);

}  // namespace kestrin
