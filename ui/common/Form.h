#pragma once

#include <optional>
#include <span>

#include "text/UrlGroups.h"

namespace kestrin::form {

// The window as both toolkits build it: every control's name in the original design,
// its caption and its place, and the menus. Names double as the Qt widgets' object
// names; the Win32 window keeps them as its members' names.

/// A rectangle in twips, 1440 to the inch: the form was drawn in them.
struct Twips {
    int left, top, width, height;
};

/// Pixels of a length in twips at `dotsPerInch`, rounded down: at 96 dots per inch a
/// pixel is 15 twips, and every length of the form lands on whole pixels there.
constexpr int Pixels(int twips, int dotsPerInch) {
    return twips * dotsPerInch / 1440;
}

struct Control {
    const char* name;
    const char16_t* caption;
    Twips place;
};

inline constexpr const char16_t* kTitle = u"KSTN";
/// The client area below the menu bar; the window is of this size only.
inline constexpr Twips kClientArea{0, 0, 7920, 1170};

inline constexpr Control lblView[] = {{"lblView(0)", u"MasterLog", {120, 120, 975, 255}},
                                      {"lblView(1)", u"SaveFile", {120, 480, 975, 255}},
                                      {"lblView(2)", u"Back Keyword", {3120, 840, 1215, 255}}};
/// The path boxes, in the order of PathBox.
inline constexpr Control lblFile[] = {{"lblFile(0)", u"", {1080, 120, 6375, 255}},
                                      {"lblFile(1)", u"", {1080, 480, 6375, 255}}};
inline constexpr Control cmdSelectFile[] = {{"cmdSelectFile(0)", u"..", {7440, 120, 375, 255}},
                                            {"cmdSelectFile(1)", u"..", {7440, 480, 375, 255}}};
inline constexpr Control cmbBackkey = {"cmbBackkey", u"", {4320, 840, 855, 300}};
inline constexpr Control cmdCutting = {"cmdCutting", u"Cutting", {5280, 840, 1215, 255}};
inline constexpr Control cmdEND = {"cmdEND", u"Quit", {6600, 840, 1215, 255}};

/// What a menu item or a button does.
enum class Command {
    None,
    ChooseLog,
    ChooseSave,
    Cut,
    Quit,
    About,
    GroupUrls,
    GroupHosts,
    GroupSites
};

/// The report's entries an item of the Options menu chooses: its items are one
/// radio group, and the choice is kept across starts.
constexpr std::optional<Grouping> GroupingOf(Command command) {
    switch (command) {
        case Command::GroupUrls:
            return Grouping::Url;
        case Command::GroupHosts:
            return Grouping::Host;
        case Command::GroupSites:
            return Grouping::Site;
        default:
            return std::nullopt;
    }
}

/// The Options menu's item of `grouping`.
constexpr Command CommandOf(Grouping grouping) {
    return grouping == Grouping::Host   ? Command::GroupHosts
           : grouping == Grouping::Site ? Command::GroupSites
                                        : Command::GroupUrls;
}

/// A menu item; Command::None is a separator.
struct MenuItem {
    const char* name;
    const char16_t* caption;
    Command command;
};

struct Menu {
    const char* name;
    const char16_t* caption;
    std::span<const MenuItem> items;
};

inline constexpr MenuItem kFileItems[] = {{"MENU_F_LOG", u"LogFile(&L)", Command::ChooseLog},
                                          {"MENU_F_SAVE", u"SaveFile(&S)", Command::ChooseSave},
                                          {"MENU_TMP01", u"", Command::None},
                                          {"MENU_F_QUIT", u"Quit(&Q)", Command::Quit}};
inline constexpr MenuItem kOptionItems[] = {{"MENU_O_URLS", u"URLs(&U)", Command::GroupUrls},
                                            {"MENU_O_HOSTS", u"Hosts(&H)", Command::GroupHosts},
                                            {"MENU_O_SITES", u"Sites(&S)", Command::GroupSites}};
inline constexpr MenuItem kHelpItems[] = {{"MENU_H_INDEX", u"About ..", Command::About}};
/// The menu bar, left to right.
inline constexpr Menu kMenus[] = {{"MENU_F", u"File(&F)", kFileItems},
                                  {"MENU_O", u"Options(&O)", kOptionItems},
                                  {"MENU_H", u"HELP(&H)", kHelpItems}};

}  // namespace kestrin::form
