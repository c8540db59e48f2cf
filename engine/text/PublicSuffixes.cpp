#include "text/PublicSuffixes.h"

#include <libpsl.h>

#include <memory>

namespace kestrin {
namespace {

// Loaded once: the system's list is a file, and reading it takes milliseconds.
const psl_ctx_t* List() {
    static const std::unique_ptr<psl_ctx_t, void (*)(psl_ctx_t*)> list(
        [] {
            psl_ctx_t* latest = psl_latest(nullptr);
            return latest != nullptr ? latest : const_cast<psl_ctx_t*>(psl_builtin());
        }(),
        [](psl_ctx_t* list) {
            if (list != psl_builtin()) psl_free(list);
        });
    return list.get();
}

}  // namespace

std::optional<std::size_t> RegistrableDomainAt(const std::string& name) {
    // The list reads names up to a NUL, which no listed name holds.
    if (name.find('\0') != std::string::npos) return std::nullopt;
    const char* domain = psl_registrable_domain(List(), name.c_str());
    if (domain == nullptr) return std::nullopt;
    return std::size_t(domain - name.c_str());
}

}  // namespace kestrin
