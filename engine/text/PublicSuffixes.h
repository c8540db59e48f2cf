#pragma once

#include <optional>
#include <string>

#include "os/Fault.h"

namespace kestrin {

/// Loads the library the Public Suffix List is read by, once for the program, or
/// says why it cannot be: a run that groups by site asks before it reads a log.
Status LoadPublicSuffixes();

/// Where the registrable domain of `name` starts by the Public Suffix List
/// (libpsl's own list, or the system's where it is newer): `name` is a host name
/// in UTF-8, lower-cased, without a last ".". Nothing for a public suffix itself
/// and a single label. Any thread may ask, once LoadPublicSuffixes succeeded.
std::optional<std::size_t> RegistrableDomainAt(const std::string& name);

}  // namespace kestrin
