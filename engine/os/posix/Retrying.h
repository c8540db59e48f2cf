#pragma once

#include <cerrno>

namespace kestrin::os::posix {

/// Calls `call` again while a signal cuts it short: the result of the first call
/// that is not so cut, with errno as that call left it.
template <typename Call>
auto Retrying(Call call) {
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

}  // namespace kestrin::os::posix
