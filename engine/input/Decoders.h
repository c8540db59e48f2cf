#pragma once

#include <memory>

#include "input/ByteSource.h"
#include "input/LogKind.h"

namespace kestrin {

/// The plain text of `below`, compressed in `form` (a compressed LogForm); `below`
/// must outlive it. Every format reads streams written one after another (as `cat
/// a.gz b.gz` makes them) as the concatenation of their texts, and ends with a
/// fault on damaged or truncated data and on anything after the last stream that
/// is no stream of its own: what cannot be read is never taken for the log's end.
/// SkippableFrames gives what follows the frames, whose form is then told apart.
std::unique_ptr<ByteSource> NewDecoder(LogForm form, ByteSource& below);

}  // namespace kestrin
