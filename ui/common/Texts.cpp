#include "common/Texts.h"

#include <algorithm>

#include "Version.h"
#include "common/Form.h"

namespace kestrin {

std::string MessageBoxText(const RunMessage& message) {
    std::string text = message.headline;
    if (message.path) text += "\n" + *message.path;
    if (!message.details.empty() || !message.warnings.empty()) text += "\n";
    for (const std::string& detail : message.details) text += "\n" + detail;
    for (const std::string& warning : message.warnings) text += "\nWarning: " + warning;
    return text;
}

std::u16string ProgressTitle(double fractionDone) {
    // A log that grows during the run may pass its size.
    const int percent = std::clamp(int(fractionDone * 100), 0, 100);
    const std::string digits = std::to_string(percent);
    return std::u16string(form::kTitle) + u" " + std::u16string(digits.begin(), digits.end()) +
           u"%";
}

std::string AboutText() {
    return std::string("Kestrin V") + kVersion +
           "\n(tallies the http:// URLs of text logs)\n2026 The Kestrin developers";
}

}  // namespace kestrin
