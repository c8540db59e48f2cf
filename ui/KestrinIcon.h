#pragma once

#include <QIcon>

namespace kestrin {

/// Kestrin's road sign: a yellow diamond with a black double outline and a black
/// arrow that bends right and then up, from 16 x 16 to 256 x 256 pixels, so that it
/// stays sharp on screens of any scale.
QIcon KestrinIcon();

}  // namespace kestrin
