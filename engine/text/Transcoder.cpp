#include "text/Transcoder.h"

namespace kestrin {
namespace {

bool IsPrintableAscii(std::string_view text) {
    for (const char byte : text) {
        if (byte < 0x20 || byte > 0x7E) return false;
    }
    return true;
}

// A byte that does not decode stands, in the decoded text, as U+DC00 + byte: a
// trail surrogate with no lead, which no character decodes to.
bool HasUndecodable(std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool lead = units[i] >= 0xD800 && units[i] < 0xDC00;
        if (lead && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            ++i;
        } else if (units[i] >= 0xD800 && units[i] < 0xE000) {
            return true;
        }
    }
    return false;
}

}  // namespace

Result<std::unique_ptr<Transcoder>> Transcoder::Open(const CodePage& from, const std::string& to) {
    // The same names and checks as a log's code page.
    const Result<const CodePage*> page = CodePage::Shared(to);
    if (!page) return page.Failure();
    Result<std::unique_ptr<os::CodePageEncoder>> encoder = os::OpenEncoder(to);
    if (!encoder) return encoder.Failure();
    const bool asciiAlike = from.PrintableIsPlain() && (*page)->PrintableIsPlain();
    return std::unique_ptr<Transcoder>(new Transcoder(from, std::move(*encoder), asciiAlike));
}

Transcoder::Transcoder(const CodePage& from, std::unique_ptr<os::CodePageEncoder> to,
                       bool asciiAlike)
    : from_(from), to_(std::move(to)), asciiAlike_(asciiAlike) {}

Transcoder::~Transcoder() = default;

bool Transcoder::Convert(std::string_view text, std::string& out) {
    if (asciiAlike_ && IsPrintableAscii(text)) {
        out.assign(text);
        return true;
    }
    units_.clear();
    from_.Decode(text, units_);
    if (HasUndecodable(units_)) return false;
    return to_->Encode(units_, out);
}

}  // namespace kestrin
