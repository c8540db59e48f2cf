#include "os/SharedLibrary.h"

#include <dlfcn.h>

namespace kestrin::os {

Result<SharedLibrary> SharedLibrary::Open(const char* name) {
    // RTLD_NOW: the library's own references are bound as it opens, so that one the
    // system cannot complete fails here, in words, not at some later call;
    // RTLD_LOCAL: its names stay its own, out of the way of the program's.
    void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        return Fault{0, why != nullptr ? why : std::string(name) + " could not be loaded"};
    }
    return SharedLibrary(handle);
}

void* SharedLibrary::Address(const char* name) const {
    return dlsym(handle_, name);
}

}  // namespace kestrin::os
