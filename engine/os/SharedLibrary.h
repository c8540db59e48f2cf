#pragma once

#include <string>

#include "os/Fault.h"

namespace kestrin::os {

/// A library of the system opened while the program runs, when a run first needs
/// what it does: a run that reads no archive never maps the archive library, nor
/// the libraries that one needs in turn. Never closed: its functions serve the
/// program to its end.
class SharedLibrary {
  public:
    /// Opens the library of file name `name` ("libarchive.so.13"), found where the
    /// system finds the libraries a program is linked with.
    static Result<SharedLibrary> Open(const char* name);

    /// Sets `function` to the library's function `name`; false where it has none.
    template <typename Function>
    bool Find(const char* name, Function& function) const {
        function = reinterpret_cast<Function>(Address(name));
        return function != nullptr;
    }

  private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    void* Address(const char* name) const;

    void* handle_;
};

/// A table of a library's functions (`Functions`, a struct of function pointers)
/// filled by `findEach(library, functions)`, which returns the names it did not
/// find, or why the library cannot serve.
template <typename Functions, typename FindEach>
Result<Functions> LoadFunctions(const char* name, FindEach findEach) {
    Result<SharedLibrary> library = SharedLibrary::Open(name);
    if (!library) return library.Failure();
    Functions functions{};
    if (const std::string missing = findEach(*library, functions); !missing.empty())
        return Fault{0, std::string(name) + " lacks" + missing};
    return functions;
}

/// A table of functions linked into the program, filled by `linkEach(functions)`.
template <typename Functions, typename LinkEach>
Result<Functions> LinkedFunctions(LinkEach linkEach) {
    Functions functions{};
    linkEach(functions);
    return functions;
}

}  // namespace kestrin::os

// A table of a library's functions is a struct with a member for each, named as
// the function, which a list macro LIST(X) names: X(first) X(second) ...
// A function is found by the name its header gives it in the end: ICU's headers
// rename each of theirs by the library's version (ucnv_open is ucnv_open_72).
#define KESTRIN_FUNCTION_MEMBER(name) decltype(&::name) name;
#define KESTRIN_FUNCTION_NAME(name) #name
#define KESTRIN_FIND_FUNCTION(name)                                 \
    if (!library.Find(KESTRIN_FUNCTION_NAME(name), functions.name)) \
        missing += " " KESTRIN_FUNCTION_NAME(name);
#define KESTRIN_LINK_FUNCTION(name) functions.name = &::name;

// The table `Table` of the functions LIST names: found in the library of file name
// `file` where the build loads libraries as the program runs (Linux), linked in
// where it does not (Windows, whose build links them in whole).
#ifdef KESTRIN_LOAD_LIBRARIES
#define KESTRIN_LOAD_FUNCTIONS(Table, LIST, file)                                 \
    ::kestrin::os::LoadFunctions<Table>(                                          \
        file, [](const ::kestrin::os::SharedLibrary& library, Table& functions) { \
            std::string missing;                                                  \
            LIST(KESTRIN_FIND_FUNCTION)                                           \
            return missing;                                                       \
        })
#else
#define KESTRIN_LOAD_FUNCTIONS(Table, LIST, file) \
    ::kestrin::os::LinkedFunctions<Table>([](Table& functions) { LIST(KESTRIN_LINK_FUNCTION) })
#endif
