#include "common/FittedForm.h"

#include <algorithm>

namespace kestrin::form {
namespace {

PixelPlace AtDpi(const Twips& place, int dotsPerInch) {
    return {Pixels(place.left, dotsPerInch), Pixels(place.top, dotsPerInch),
            Pixels(place.width, dotsPerInch), Pixels(place.height, dotsPerInch)};
}

// How far `after` moves right for `before`, which stands left of it in its row, to
// have grown: the form's room between them stays (some of the form's controls
// touch, some overlap by a pixel).
int Moved(const PixelPlace& before, const Control& design, int dotsPerInch) {
    return std::max(0,
                    before.Right() - Pixels(design.place.left + design.place.width, dotsPerInch));
}

}  // namespace

std::array<const Control*, FittedForm::kControls> FittedForm::Designs() {
    return {&lblView[0],       &lblView[1],       &lblView[2], &lblFile[0], &lblFile[1],
            &cmdSelectFile[0], &cmdSelectFile[1], &cmbBackkey, &cmdCutting, &cmdEND};
}

std::size_t FittedForm::IndexOf(const Control& design) {
    const auto designs = Designs();
    return std::size_t(std::find(designs.begin(), designs.end(), &design) - designs.begin());
}

FittedForm FitForm(int dotsPerInch, const std::function<int(const Control&)>& needs) {
    FittedForm fitted;
    const auto designs = FittedForm::Designs();
    for (std::size_t i = 0; i < designs.size(); ++i) {
        PixelPlace& place = fitted.places[i];
        place = AtDpi(designs[i]->place, dotsPerInch);
        place.width = std::max(place.width, needs(*designs[i]));
    }
    auto at = [&](const Control& design) -> PixelPlace& { return fitted.Of(design); };
    // The keyword's row moves along to the right as its captions grow.
    const Control* const row[] = {&lblView[2], &cmbBackkey, &cmdCutting, &cmdEND};
    for (std::size_t i = 1; i < std::size(row); ++i)
        at(*row[i]).left += Moved(at(*row[i - 1]), *row[i - 1], dotsPerInch);
    const PixelPlace client = AtDpi(kClientArea, dotsPerInch);
    const int formRight = Pixels(cmdEND.place.left + cmdEND.place.width, dotsPerInch);
    const int right = std::max(formRight, at(cmdEND).Right());
    fitted.clientWidth = client.width + right - formRight;
    fitted.clientHeight = client.height;
    // The path rows: ".." at the right, the box between it and its label.
    for (std::size_t i = 0; i < 2; ++i) {
        PixelPlace& button = at(cmdSelectFile[i]);
        button.left = right - button.width;
        PixelPlace& box = at(lblFile[i]);
        const int formGap = Pixels(cmdSelectFile[i].place.left, dotsPerInch) -
                            Pixels(lblFile[i].place.left + lblFile[i].place.width, dotsPerInch);
        box.left += Moved(at(lblView[i]), lblView[i], dotsPerInch);
        box.width = button.left - formGap - box.left;
    }
    return fitted;
}

}  // namespace kestrin::form
