#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace kestrin::win32 {

struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

/// The window's face at `points` for a screen of `dotsPerInch`: the Japanese gothic
/// face, MS Gothic, the one the form was drawn with, where it is installed, else Yu
/// Gothic UI or Meiryo UI, which every Japanese Windows has, so that Japanese paths
/// show as text; else the system's own face for messages.
Font GothicFont(double points, int dotsPerInch);

}  // namespace kestrin::win32
