#pragma once

#include <vector>

#include "tally/RecordStore.h"

namespace kestrin::detail {

/// The records in URL order, byte forms with one key merged into the form seen
/// first (whose count then holds them all).
std::vector<const Record*> MergeInUrlOrder(const RecordStore& records, std::size_t count);

}  // namespace kestrin::detail
