#include "os/Fault.h"

#include <cstring>

namespace kestrin {

std::string Fault::Reason() const {
    if (!detail.empty() || systemError == 0) return detail;
    return std::strerror(systemError);
}

}  // namespace kestrin
