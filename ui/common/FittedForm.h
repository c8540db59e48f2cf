#pragma once

#include <array>
#include <functional>

#include "common/Form.h"

namespace kestrin::form {

/// A control's place in pixels.
struct PixelPlace {
    int left, top, width, height;
    int Right() const { return left + width; }
};

/// The form's controls in pixels, each as wide as its caption needs in the font in
/// use, in the order of FittedForm::Designs.
struct FittedForm {
    static constexpr std::size_t kControls = 10;
    /// lblView(0..2), lblFile(0..1), cmdSelectFile(0..1), cmbBackkey, cmdCutting, cmdEND.
    static std::array<const Control*, kControls> Designs();

    std::array<PixelPlace, kControls> places{};
    int clientWidth = 0, clientHeight = 0;

    const PixelPlace& Of(const Control& design) const { return places[IndexOf(design)]; }
    PixelPlace& Of(const Control& design) { return places[IndexOf(design)]; }
    static std::size_t IndexOf(const Control& design);
};

/// The form at `dotsPerInch` for a font whose captions want `needs(control)` pixels
/// (0: the form's width will do). The form's places stay where its font fits;
/// where it does not, a caption or box grows to the right, the controls after it in
/// its row move along, and the window widens: the path boxes, whose paths are cut
/// to fit anyway, give up the room their labels take and keep the ".." buttons at
/// the window's right.
FittedForm FitForm(int dotsPerInch, const std::function<int(const Control&)>& needs);

}  // namespace kestrin::form
