#pragma once

#include <QIcon>

namespace kestrin {

/// Kestrin's road sign: a yellow diamond with a black double outline and a black
/// arrow that bends right and then up, at 32 x 32 and 16 x 16 in 16 colours.
QIcon KestrinIcon();

}  // namespace kestrin
