#include "text/PublicSuffixes.h"

#include <libpsl.h>

#include <memory>

#include "os/CodePageTables.h"
#include "os/SharedLibrary.h"

namespace kestrin {
namespace {

// The functions of libpsl the sites are found by.
#define KESTRIN_PSL_FUNCTIONS(X) X(psl_builtin) X(psl_free) X(psl_latest) X(psl_registrable_domain)

struct SuffixLibrary {
    KESTRIN_PSL_FUNCTIONS(KESTRIN_FUNCTION_MEMBER);
};

const Result<SuffixLibrary>& Library() {
    static const Result<SuffixLibrary> loaded =
        KESTRIN_LOAD_FUNCTIONS(SuffixLibrary, KESTRIN_PSL_FUNCTIONS, KESTRIN_PSL_LIBRARY);
    return loaded;
}

// Loaded once: the system's list is a file, and reading it takes milliseconds.
const psl_ctx_t* List() {
    static const SuffixLibrary& psl = *Library();
    static const std::unique_ptr<psl_ctx_t, void (*)(psl_ctx_t*)> list(
        [] {
            psl_ctx_t* latest = psl.psl_latest(nullptr);
            return latest != nullptr ? latest : const_cast<psl_ctx_t*>(psl.psl_builtin());
        }(),
        [](psl_ctx_t* list) {
            if (list != psl.psl_builtin()) psl.psl_free(list);
        });
    return list.get();
}

}  // namespace

Status LoadPublicSuffixes() {
    if (!Library()) return Fault{0, "sites cannot be found: " + Library().Failure().Reason()};
    // The list writes international names in lower case.
    if (Status lower = os::LoadLowerCase())
        return Fault{0, "sites cannot be found: " + lower->Reason()};
    return std::nullopt;
}

std::optional<std::size_t> RegistrableDomainAt(const std::string& name) {
    // The list reads names up to a NUL, which no listed name holds.
    if (name.find('\0') != std::string::npos) return std::nullopt;
    const char* domain = Library()->psl_registrable_domain(List(), name.c_str());
    if (domain == nullptr) return std::nullopt;
    return std::size_t(domain - name.c_str());
}

}  // namespace kestrin
