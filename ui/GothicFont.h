#pragma once

#include <QFont>

namespace kestrin {

/// The window's font: the Japanese gothic face at 9 points, or the first of its
/// stand-ins that this machine has, so that Japanese paths show as text.
QFont GothicFont();

}  // namespace kestrin
