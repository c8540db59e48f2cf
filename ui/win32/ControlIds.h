#pragma once

#include "common/Form.h"

namespace kestrin::win32 {

// The identifiers WM_COMMAND carries for the window's controls and menu items, named
// after the controls and items; a test program finds the controls by them too.

constexpr int lblView(int index) {
    return 100 + index;
}
constexpr int lblFile(int index) {
    return 110 + index;
}
constexpr int cmdSelectFile(int index) {
    return 120 + index;
}
inline constexpr int cmbBackkey = 130;
inline constexpr int cmdCutting = 131;
inline constexpr int cmdEND = 132;

/// A menu item's identifier, from what it does.
constexpr int MenuId(form::Command command) {
    return 200 + int(command);
}
inline constexpr int MENU_F_LOG = MenuId(form::Command::ChooseLog);
inline constexpr int MENU_F_SAVE = MenuId(form::Command::ChooseSave);
inline constexpr int MENU_F_QUIT = MenuId(form::Command::Quit);
inline constexpr int MENU_H_INDEX = MenuId(form::Command::About);
inline constexpr int MENU_O_URLS = MenuId(form::Command::GroupUrls);
inline constexpr int MENU_O_HOSTS = MenuId(form::Command::GroupHosts);
inline constexpr int MENU_O_SITES = MenuId(form::Command::GroupSites);

/// The icon's resource, in data/kestrin.rc.in.
inline constexpr int kIconResource = 1;

}  // namespace kestrin::win32
