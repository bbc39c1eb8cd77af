// What the window's logic asks of a view: the texts, items, selections and enabled states of
// the named controls, and the poll timer. Texts are single-byte characters, as the board's
// strings are shown. A view raises the events back through MainWindowLogic: a selection in a
// list (also one the program sets with setListIndex), a click of the button, a timer tick.
#pragma once

#include "Controls.h"

#include <string>

namespace app {

class WindowView {
public:
    virtual ~WindowView() = default;

    virtual void showWindow() = 0;

    // A label's caption or the text box's text.
    virtual void setText(Control control, const std::string& text) = 0;
    virtual void setEnabled(Control control, bool enabled) = 0;

    // Drop-down lists. Filling and emptying raise no event.
    virtual void removeAllItems(Control list) = 0;
    virtual void addItem(Control list, const std::string& text, int index) = 0;
    virtual int listIndex(Control list) const = 0;
    // -1 clears the selection. Raises the list's selection event, as a pick does.
    virtual void setListIndex(Control list, int index) = 0;
    virtual std::string selectedText(Control list) const = 0;
    // The index of the item whose text is exactly text, or -1.
    virtual int findItem(Control list, const std::string& text) const = 0;

    virtual void setTimerEnabled(bool enabled) = 0;
    virtual void setTimerInterval(int milliseconds) = 0;
};

} // namespace app
