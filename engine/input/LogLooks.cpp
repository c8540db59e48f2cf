#include "input/LogLooks.h"

#include <algorithm>
#include <cstdint>

namespace kestrin {

LogLooks LooksOf(std::string_view head) {
    if (head.starts_with("\xff\xfe") || head.starts_with("\xfe\xff")) return LogLooks::Utf16;
    bool evenNul = head.size() >= 2, oddNul = head.size() >= 2;
    std::size_t nul = 0, control = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const auto byte = std::uint8_t(head[i]);
        if (byte != 0) (i % 2 == 0 ? evenNul : oddNul) = false;
        nul += byte == 0;
        control += (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' &&
                    byte != 0x1b) ||
                   byte == 0x7f;
    }
    if (evenNul != oddNul) return LogLooks::Utf16;
    return nul > 0 || control * 10 > head.size() ? LogLooks::Binary : LogLooks::Text;
}

}  // namespace kestrin
