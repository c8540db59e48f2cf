#include "input/Decoders.h"

namespace kestrin {
namespace detail {
std::unique_ptr<ByteSource> NewGzipDecoder(ByteSource& below);
std::unique_ptr<ByteSource> NewZstdDecoder(ByteSource& below);
std::unique_ptr<ByteSource> NewXzDecoder(ByteSource& below);
std::unique_ptr<ByteSource> NewBzip2Decoder(ByteSource& below);
std::unique_ptr<ByteSource> NewLz4Decoder(ByteSource& below);
}  // namespace detail

std::unique_ptr<ByteSource> NewDecoder(LogForm form, ByteSource& below) {
    switch (form) {
        case LogForm::Gzip:
            return detail::NewGzipDecoder(below);
        case LogForm::Zstd:
            return detail::NewZstdDecoder(below);
        case LogForm::Xz:
            return detail::NewXzDecoder(below);
        case LogForm::Bzip2:
            return detail::NewBzip2Decoder(below);
        case LogForm::Lz4:
            return detail::NewLz4Decoder(below);
        default:
            return nullptr;
    }
}

}  // namespace kestrin
