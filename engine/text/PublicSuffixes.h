#pragma once

#include <optional>
#include <string>

namespace kestrin {

/// Where the registrable domain of `name` starts by the Public Suffix List
/// (libpsl's own list, or the system's where it is newer): `name` is a host name
/// in UTF-8, lower-cased, without a last ".". Nothing for a public suffix itself
/// and a single label. Any thread may ask.
std::optional<std::size_t> RegistrableDomainAt(const std::string& name);

}  // namespace kestrin
