#include "ConsoleUi.h"

#include <algorithm>
#include <string>

namespace kestrin {
namespace {

constexpr std::int64_t kProgressFrom = 64 << 20;
constexpr int kBarWidth = 40;

std::string WithLineBreaks(std::string text) {
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

}  // namespace

void ConsoleUi::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    ClearProgress();
    if (quiet_ && icon == MessageIcon::Information) return;
    err_ << title << ": " << WithLineBreaks(text) << '\n' << std::flush;
}

bool ConsoleUi::AskYesNo(const std::string& text, const std::string& title) {
    ClearProgress();
    if (quiet_) return answerYes_;
    err_ << title << ": " << WithLineBreaks(text) << ' ' << (answerYes_ ? "Yes" : "No") << '\n'
         << std::flush;
    return answerYes_;
}

void ConsoleUi::LeaveBusy() {
    ClearProgress();
}

void ConsoleUi::ShowProgress(std::int64_t bytesRead, std::int64_t logSize) {
    if (!showProgress_ || logSize <= kProgressFrom) return;
    int percent = int(std::min<std::int64_t>(100, bytesRead * 100 / logSize));
    int filled = percent * kBarWidth / 100;
    err_ << "\r[" << std::string(std::size_t(filled), '#')
         << std::string(std::size_t(kBarWidth - filled), ' ') << "] " << percent << "% "
         << std::flush;
    progressShown_ = true;
}

void ConsoleUi::ClearProgress() {
    if (!progressShown_) return;
    err_ << '\r' << std::string(kBarWidth + 8, ' ') << '\r' << std::flush;
    progressShown_ = false;
}

}  // namespace kestrin
