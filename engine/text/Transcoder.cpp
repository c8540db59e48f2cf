#include "text/Transcoder.h"

namespace kestrin {
namespace {

bool IsPrintableAscii(std::string_view text) {
    for (const char byte : text) {
        if (byte < 0x20 || byte > 0x7E) return false;
    }
    return true;
}

// UTF-8 is written by its own rules, as it is read: the reports of JSON and HTML,
// which are UTF-8 whatever the logs are, need no converter of the system's.
class Utf8Encoder : public os::CodePageEncoder {
  public:
    bool Encode(std::u16string_view text, std::string& out) override {
        out.clear();
        // A surrogate out of a pair is written as it stands, which UTF-8 does not
        // read back: the transcoder takes only what reads back.
        for (std::size_t at = 0; at < text.size();)
            CodePage::AppendUtf8(CodePage::NextCharacter(text, at), out);
        return true;
    }
};

Result<std::unique_ptr<os::CodePageEncoder>> OpenEncoder(const CodePage& page,
                                                         const std::string& name) {
    if (page.IsUtf8()) return std::unique_ptr<os::CodePageEncoder>(new Utf8Encoder);
    return os::OpenEncoder(name);
}

}  // namespace

Result<std::unique_ptr<Transcoder>> Transcoder::Open(const CodePage& from, const std::string& to) {
    // The same names and checks as a log's code page.
    const Result<const CodePage*> page = CodePage::Shared(to);
    if (!page) return page.Failure();
    Result<std::unique_ptr<os::CodePageEncoder>> encoder = OpenEncoder(**page, to);
    if (!encoder) return encoder.Failure();
    const bool asciiAlike = from.PrintableIsPlain() && (*page)->PrintableIsPlain();
    return std::unique_ptr<Transcoder>(
        new Transcoder(from, **page, std::move(*encoder), asciiAlike));
}

Transcoder::Transcoder(const CodePage& from, const CodePage& toPage,
                       std::unique_ptr<os::CodePageEncoder> to, bool asciiAlike)
    : from_(from), toPage_(toPage), to_(std::move(to)), asciiAlike_(asciiAlike) {}

Transcoder::~Transcoder() = default;

bool Transcoder::Convert(std::string_view text, std::string& out) {
    if (asciiAlike_ && IsPrintableAscii(text)) {
        out.assign(text);
        return true;
    }
    units_.clear();
    from_.Decode(text, units_);
    if (!DecodedWhole(units_)) return false;
    return Carries(units_, out);
}

bool Transcoder::Carries(std::u16string_view units, std::string& out) {
    if (!to_->Encode(units, out)) return false;
    back_.clear();
    toPage_.Decode(out, back_);
    return back_ == units;
}

bool Transcoder::ConvertEscaping(std::string_view text, std::string& out) {
    if (Convert(text, out)) return false;
    out.clear();
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = from_.CharLength(text, at);
        char16_t units[2];
        const std::size_t count = from_.DecodeChar(text, at, length, units);
        const std::u16string_view decoded(units, count);
        if (DecodedWhole(decoded) && Carries(decoded, character_)) {
            out += character_;
        } else {
            for (std::size_t i = at; i < at + length; ++i) {
                constexpr char kHex[] = "0123456789ABCDEF";
                const auto byte = std::uint8_t(text[i]);
                out += {'%', kHex[byte >> 4], kHex[byte & 15]};
            }
        }
        at += length;
    }
    return true;
}

}  // namespace kestrin
