#include "ConsoleUi.h"

#include <algorithm>
#include <string>

#include "os/StopSignals.h"

namespace kestrin {
namespace {

constexpr int kBarWidth = 40;
// "[" + the bar + "] 100% ", kept short of the last column, where a terminal may
// wrap the line.
constexpr int kAroundBar = 9;
constexpr int kNarrowestBar = 10;

std::string WithLineBreaks(std::string text) {
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

}  // namespace

// Each message goes out whole, in one write: a piece at a time, it would cost a
// call to the system each and might be torn by another program writing to the same
// terminal.
void ConsoleUi::ShowMessage(const RunMessage& message) {
    ClearProgress();
    std::string text;
    if (!quiet_ || message.icon != MessageIcon::Information) {
        text += message.title + ": " + WithLineBreaks(message.headline) + '\n';
        if (message.path) text += *message.path + '\n';
        for (const std::string& detail : message.details) text += "kestrin-cut: " + detail + '\n';
    }
    for (const std::string& warning : message.warnings)
        text += "kestrin-cut: warning: " + warning + '\n';
    err_.Write(text);
}

bool ConsoleUi::AskYesNo(const std::string& text, const std::string& title) {
    ClearProgress();
    if (quiet_) return answerYes_;
    err_.Write(title + ": " + WithLineBreaks(text) + (answerYes_ ? " Yes\n" : " No\n"));
    return answerYes_;
}

void ConsoleUi::ShowProgress(const RunProgress& progress) {
    const int width = std::min(kBarWidth, columns_ - kAroundBar);
    if (width < kNarrowestBar) return;
    const int percent = std::clamp(int(progress.fraction * 100), 0, 100);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    const int filled = percent * width / 100;
    err_.Write("\r[" + std::string(std::size_t(filled), '#') +
               std::string(std::size_t(width - filled), ' ') + "] " + std::to_string(percent) +
               "% ");
    shownWidth_ = width + kAroundBar - 1;
    os::SetLineToBlank(shownWidth_);
}

void ConsoleUi::ClearProgress() {
    if (shownWidth_ == 0) return;
    err_.Write('\r' + std::string(std::size_t(shownWidth_), ' ') + '\r');
    os::SetLineToBlank(0);
    shownWidth_ = 0;
    shownPercent_ = -1;
}

}  // namespace kestrin
