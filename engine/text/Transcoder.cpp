#include "text/Transcoder.h"

namespace kestrin {
namespace {

bool IsPrintableAscii(std::string_view text) {
    for (const char byte : text) {
        if (byte < 0x20 || byte > 0x7E) return false;
    }
    return true;
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
    if (!DecodedWhole(units_)) return false;
    return to_->Encode(units_, out);
}

}  // namespace kestrin
