#include "os/SharedLibrary.h"

#include <dlfcn.h>

namespace kestrin::os {

Result<SharedLibrary> SharedLibrary::Open(const char* name) {
    // Every function at once, so that a library that lacks one says so here rather
    // than ending the program at its first call; its names its own.
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
