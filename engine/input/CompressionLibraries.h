#pragma once

// ZSTD_getFrameHeader, which every zstd since 1.3 has and exports.
#define ZSTD_STATIC_LINKING_ONLY
#include <bzlib.h>
#include <lz4frame.h>
#include <lzma.h>
#include <zstd.h>
#include <zstd_errors.h>
#ifdef KESTRIN_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

#include "os/Fault.h"
#include "os/SharedLibrary.h"

namespace kestrin {

// The functions of each compression library that the decoders and the decision
// of what a log is call: each library is loaded when a run first needs it, so that
// a run of plain logs starts without any of them.
// clang-format off
#define KESTRIN_BZIP2_FUNCTIONS(X) \
    X(BZ2_bzDecompressInit) X(BZ2_bzDecompress) X(BZ2_bzDecompressEnd)
#define KESTRIN_XZ_FUNCTIONS(X) \
    X(lzma_stream_decoder) X(lzma_code) X(lzma_end) X(lzma_stream_header_decode)
#define KESTRIN_ZSTD_FUNCTIONS(X)                                                      \
    X(ZSTD_createDCtx) X(ZSTD_freeDCtx) X(ZSTD_DCtx_setParameter)                      \
    X(ZSTD_decompressStream) X(ZSTD_isError) X(ZSTD_getErrorCode) X(ZSTD_getErrorName) \
    X(ZSTD_getFrameHeader)
#define KESTRIN_LZ4_FUNCTIONS(X)                                                       \
    X(LZ4F_createDecompressionContext) X(LZ4F_freeDecompressionContext)                \
    X(LZ4F_decompress) X(LZ4F_isError) X(LZ4F_getErrorName) X(LZ4F_getFrameInfo)
#define KESTRIN_ISAL_FUNCTIONS(X) X(isal_inflate_init) X(isal_inflate)
// clang-format on

struct Bzip2Library {
    KESTRIN_BZIP2_FUNCTIONS(KESTRIN_FUNCTION_MEMBER);
};
struct XzLibrary {
    KESTRIN_XZ_FUNCTIONS(KESTRIN_FUNCTION_MEMBER);
};
struct ZstdLibrary {
    KESTRIN_ZSTD_FUNCTIONS(KESTRIN_FUNCTION_MEMBER);
};
struct Lz4Library {
    KESTRIN_LZ4_FUNCTIONS(KESTRIN_FUNCTION_MEMBER);
};
#ifdef KESTRIN_HAVE_ISAL
struct IsalLibrary {
    KESTRIN_ISAL_FUNCTIONS(KESTRIN_FUNCTION_MEMBER);
};
#endif

/// Each library's functions, once for the program, or why it cannot be loaded
/// ("xz data cannot be read: ...").
Result<const Bzip2Library*> LoadBzip2Library();
Result<const XzLibrary*> LoadXzLibrary();
Result<const ZstdLibrary*> LoadZstdLibrary();
Result<const Lz4Library*> LoadLz4Library();
#ifdef KESTRIN_HAVE_ISAL
Result<const IsalLibrary*> LoadIsalLibrary();
#endif

}  // namespace kestrin
