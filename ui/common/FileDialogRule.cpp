#include "common/FileDialogRule.h"

namespace kestrin {

FileDialogRule FileDialogRuleFor(PathBox box) {
    if (box == PathBox::Log) {
        // "*" rather than "*.*": a name need not have a dot to be a file. No default
        // extension: the open dialog takes only an existing name, as it is.
        return {FileDialogRule::Mode::Open, u"LOG FILE", u"ALL", u"*", u""};
    }
    return {FileDialogRule::Mode::Save, u"SAVE..", u"DATA SAVE FILE", u"*.dat", u"dat"};
}

std::u16string ReadOnlyRefusal(std::u16string_view fileName) {
    return std::u16string(fileName) +
           u"\nThis file is read-only.\nTry again with a different file name.";
}

}  // namespace kestrin
