#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tally/LargeArray.h"
#include "tally/RecordStore.h"
#include "tally/RunControl.h"

namespace kestrin {
class CodePage;
}

namespace kestrin::detail {

/// The references of the records in URL order, byte forms that decode alike
/// merged into the form seen first (whose count then holds them all). The sort
/// runs on `threads` threads and tells `phase` (when given) the records in place;
/// when the run is to stop it ends early with nothing.
LargeArray<std::uint32_t> MergeInUrlOrder(RecordStore& records, const CodePage& page, Phase* phase,
                                          unsigned threads = 1);

}  // namespace kestrin::detail
