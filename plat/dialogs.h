// Modal message boxes and the save dialog, on GTK 3, with a scripted mode.
//
// Provides: a message box (caption as the window title, and in the body the
// caption as a headline over the text, so that a box says what it is about
// even where windows have no title bar; OK or OK/Cancel, where Return answers
// OK and Escape Cancel) and a save dialog that accepts new names. Each real
// dialog stands over the program's window and takes the keyboard when it
// opens. While either runs the main loop is blocked: the window's last frame
// is shown again whenever the window is exposed, also where a dialog that
// closed just before another opened stood.
// Scripted mode (QUORVEL_DIALOGS=script, or whenever no display can be
// opened): nothing blocks; the answers are taken in order from
// QUORVEL_DIALOG_ANSWERS, a list separated by ';' ("ok" or "cancel" for a
// message box, a path or "cancel" for the save dialog); when the list is
// used up a message box answers OK and the save dialog cancel.
// Callers rely on:
// - every dialog, real or scripted, writing one line to standard error:
//   dialog: <kind> "<caption>" "<text>" -> <answer>
//   kind "message" (OK), "question" (OK/Cancel) or "save"; the answer "ok",
//   "cancel" or the path; a line break or '"' inside a text is written as
//   \n or \" so the record stays one line;
// - the save dialog answering an absolute path (a relative scripted answer
//   is taken from the current folder) and never changing the current folder;
// - an end signal (plat_term_requested) closing a real dialog as Cancel
//   would, within a few hundredths of a second, and any real dialog after
//   it answering at once unseen, so that the program reaches its shut-down:
//   the save dialog and an OK/Cancel box answer cancel, an OK box ok; the
//   line above is written all the same. Scripted dialogs are not affected;
// - texts being UTF-8. Main thread only.
#pragma once
#include <string>

constexpr int PLAT_MB_OK = 0;
constexpr int PLAT_MB_OKCANCEL = 1;
constexpr int PLAT_IDOK = 1;
constexpr int PLAT_IDCANCEL = 2;

// PLAT_IDOK or PLAT_IDCANCEL (an OK-only box always answers PLAT_IDOK).
int plat_message_box(const char* text, const char* caption, int type);
// 1 and the chosen absolute path, or 0 (cancelled, path emptied).
int plat_save_dialog(const char* filter_name, const char* filter_pattern, std::string* path);

// Reads QUORVEL_DIALOG_ANSWERS again from its first answer (tests).
void plat_dialogs_reset_script(void);
