#include "input/CompressionLibraries.h"

#include <string>

namespace kestrin {
namespace {

// The table, once for the program: a failure says which data it leaves unread.
template <typename Library>
Result<const Library*> Loaded(const Result<Library>& loaded, const char* data) {
    if (!loaded)
        return Fault{0, std::string(data) + " cannot be read: " + loaded.Failure().Reason()};
    return &*loaded;
}

}  // namespace

Result<const Bzip2Library*> LoadBzip2Library() {
    static const Result<Bzip2Library> loaded =
        KESTRIN_LOAD_FUNCTIONS(Bzip2Library, KESTRIN_BZIP2_FUNCTIONS, KESTRIN_BZIP2_LIBRARY);
    return Loaded(loaded, "bzip2 data");
}

Result<const XzLibrary*> LoadXzLibrary() {
    static const Result<XzLibrary> loaded =
        KESTRIN_LOAD_FUNCTIONS(XzLibrary, KESTRIN_XZ_FUNCTIONS, KESTRIN_XZ_LIBRARY);
    return Loaded(loaded, "xz data");
}

Result<const ZstdLibrary*> LoadZstdLibrary() {
    static const Result<ZstdLibrary> loaded =
        KESTRIN_LOAD_FUNCTIONS(ZstdLibrary, KESTRIN_ZSTD_FUNCTIONS, KESTRIN_ZSTD_LIBRARY);
    return Loaded(loaded, "zstd data");
}

Result<const Lz4Library*> LoadLz4Library() {
    static const Result<Lz4Library> loaded =
        KESTRIN_LOAD_FUNCTIONS(Lz4Library, KESTRIN_LZ4_FUNCTIONS, KESTRIN_LZ4_LIBRARY);
    return Loaded(loaded, "lz4 data");
}

#ifdef KESTRIN_HAVE_ISAL
Result<const IsalLibrary*> LoadIsalLibrary() {
    static const Result<IsalLibrary> loaded =
        KESTRIN_LOAD_FUNCTIONS(IsalLibrary, KESTRIN_ISAL_FUNCTIONS, KESTRIN_ISAL_LIBRARY);
    return Loaded(loaded, "gzip data");
}
#endif

}  // namespace kestrin
