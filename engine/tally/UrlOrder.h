#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tally/RecordStore.h"

namespace kestrin {
class CodePage;
}

namespace kestrin::detail {

/// How far a long step has come: `done` of `total` units of work.
using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

/// The references of the records in URL order, byte forms that decode alike
/// merged into the form seen first (whose count then holds them all). The sort
/// runs on `threads` threads.
std::vector<std::uint32_t> MergeInUrlOrder(RecordStore& records, const CodePage& page,
                                           const Progress& progress, unsigned threads = 1);

}  // namespace kestrin::detail
