#pragma once

#include <functional>
#include <string>

#include "common/PathBox.h"
#include "run/Ui.h"
#include "text/UrlGroups.h"

namespace kestrin {

/// What the window's controller (WindowController) needs of a toolkit's window. The
/// run's Ui calls and everything else here are made on the window's thread, but for
/// Post.
class WindowView : public Ui {
  public:
    /// Runs `call` later on the window's thread and returns at once, from any thread;
    /// false when it cannot. Calls still queued when the window goes are dropped.
    virtual bool Post(std::function<void()> call) = 0;
    /// Busy during a run: the wait cursor, the controls and menus disabled, the
    /// window minimized; not busy: the window as it was, its title back.
    virtual void SetBusy(bool busy) = 0;
    /// The window goes at once: no question, nothing shown first.
    virtual void Close() = 0;
    /// Quit's end of the program.
    virtual void Quit() = 0;

    /// The log and the save file as the engine takes their paths, and the keyword
    /// box's text, as a click on Cutting finds them.
    struct Boxes {
        std::string log, save;
        std::u16string keyword;
    };
    virtual Boxes CurrentBoxes() = 0;
    /// The file dialog for `box`: ".." beside it, or its item of the File menu.
    virtual void ChooseFile(PathBox box) = 0;
    virtual void ShowAbout() = 0;
    /// The Options menu's entry chosen: its radio item checked, the choice kept for
    /// the next start.
    virtual void KeepGrouping(Grouping grouping) = 0;
};

}  // namespace kestrin
