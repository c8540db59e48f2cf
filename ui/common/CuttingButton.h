#pragma once

namespace kestrin {

/// Whether Cutting is enabled once a path box may have changed: from the moment both
/// paths are named on. Never disabled again, since no choice in the window can empty
/// a path.
constexpr bool CuttingEnabled(bool enabledBefore, bool logNamed, bool saveNamed) {
    return enabledBefore || (logNamed && saveNamed);
}

}  // namespace kestrin
