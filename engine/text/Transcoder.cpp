#include "text/Transcoder.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/utf16.h>

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
        if (U16_IS_LEAD(units[i]) && i + 1 < units.size() && U16_IS_TRAIL(units[i + 1])) {
            ++i;
        } else if (U16_IS_SURROGATE(units[i])) {
            return true;
        }
    }
    return false;
}

}  // namespace

Result<std::unique_ptr<Transcoder>> Transcoder::Open(const CodePage& from, const std::string& to) {
    // The same names and checks as a log's code page, and the same converter.
    const Result<const CodePage*> page = CodePage::Shared(to);
    if (!page) return page.Failure();
    UConverter* converter = (*page)->NewConverter();
    if (converter == nullptr) return Fault{0, "unknown code page: " + to};
    UErrorCode status = U_ZERO_ERROR;
    // A character the code page lacks stops the conversion: nothing is made up.
    ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) {
        ucnv_close(converter);
        return Fault{0, std::string("cannot write in ") + to + ": " + u_errorName(status)};
    }
    const bool asciiAlike = from.PrintableIsPlain() && (*page)->PrintableIsPlain();
    return std::unique_ptr<Transcoder>(new Transcoder(from, converter, asciiAlike));
}

Transcoder::Transcoder(const CodePage& from, UConverter* to, bool asciiAlike)
    : from_(from), to_(to), asciiAlike_(asciiAlike) {}

Transcoder::~Transcoder() {
    ucnv_close(to_);
}

bool Transcoder::Convert(std::string_view text, std::string& out) {
    if (asciiAlike_ && IsPrintableAscii(text)) {
        out.assign(text);
        return true;
    }
    units_.clear();
    from_.Decode(text, units_);
    if (HasUndecodable(units_)) return false;
    std::string bytes(units_.size() * 4 + 4, '\0');
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(to_);
    const int32_t length = ucnv_fromUChars(to_, bytes.data(), int32_t(bytes.size()),
                                           reinterpret_cast<const UChar*>(units_.data()),
                                           int32_t(units_.size()), &status);
    if (U_FAILURE(status)) return false;
    bytes.resize(std::size_t(length));
    out = std::move(bytes);
    return true;
}

}  // namespace kestrin
