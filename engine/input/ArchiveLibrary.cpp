#include "input/ArchiveLibrary.h"

namespace kestrin {

Result<const ArchiveLibrary*> LoadArchiveLibrary() {
    static const Result<ArchiveLibrary> loaded =
        KESTRIN_LOAD_FUNCTIONS(ArchiveLibrary, KESTRIN_ARCHIVE_FUNCTIONS, KESTRIN_ARCHIVE_LIBRARY);
    if (!loaded) return loaded.Failure();
    return &*loaded;
}

}  // namespace kestrin
