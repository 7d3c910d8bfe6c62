// dialogs_local: what the dialogs module keeps to itself and its tests: the
// layout of a message box's body, the hold and redraw of the window's last
// frame while a dialog runs, and whether the dialogs run scripted.
#pragma once

#include <string>

// What a message box's body shows: the caption as the headline and the text
// under it; an empty text leaves the headline alone, an empty caption makes
// the text the headline.
struct PlatBoxBody {
    std::string headline;
    std::string detail;
};
PlatBoxBody plat_message_box_body(const char* text, const char* caption);

// What a running dialog does for the window behind it: keep the frame last
// presented when it opens, and show it again whenever the window was
// exposed, from the last look on: when it opens (a dialog closed just before
// leaves an exposure no frame has answered) and while it runs. Each answers
// 1 when it showed the frame.
int plat_dialog_hold_frame(void);
int plat_dialog_redraw_if_exposed(void);

// 1 while the answers come from QUORVEL_DIALOG_ANSWERS instead of a person.
int plat_dialogs_scripted(void);
