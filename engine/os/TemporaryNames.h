#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrin::os {

/// The temporary reports an ending signal removes where nothing else would. A few
/// at a time, in fixed storage, so that a signal handler (or Windows' console
/// handler, on a thread of its own) needs nothing but the system's call to remove
/// a file, RemoveTemporaryFile. The same for every system; what a name is, is each
/// system's: a POSIX name in a folder's descriptor, a whole Windows path in UTF-16.
namespace temporary_names {

/// Enters the file `name` (its `bytes` bytes, the terminating NUL included) in
/// `folder` (both must stay valid until it is forgotten): the slot to forget it
/// by, or -1 when none is free or the name too long, and a signal then leaves the
/// file behind.
int Remember(std::intptr_t folder, const void* name, std::size_t bytes);
/// Takes the entry out once the file is gone or renamed; -1 is ignored.
void Forget(int slot);
/// For the ending signals: removes every file entered.
void RemoveAll();

}  // namespace temporary_names

/// Each system's: removes the file `name` in `folder`, as a signal handler may.
void RemoveTemporaryFile(std::intptr_t folder, const void* name);

}  // namespace kestrin::os
