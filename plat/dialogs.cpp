// Message boxes and the save dialog on GTK 3, and their scripted answers (see dialogs.h). While
// one runs, the window's last frame is shown again through gfx_reshow_local.h.
#include "plat/dialogs.h"
#include "plat/dialogs_local.h"

#include "plat/files.h"
#include "plat/gfx_reshow_local.h"
#include "plat/log_text.h"
#include "plat/window.h"
#include "plat/window_local.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr const char* PLAT_SAVE_CAPTION = "Save As";

struct DialogState {
    int mode_known;
    int scripted;
    int script_read;
    std::vector<std::string> answers;
    size_t next;
};

DialogState g_dlg;

void read_script(void)
{
    g_dlg.answers.clear();
    g_dlg.next = 0;
    g_dlg.script_read = 1;
    const char* list = std::getenv("QUORVEL_DIALOG_ANSWERS");
    if (!list) return;
    std::string_view rest(list);
    for (;;) {
        const size_t semi = rest.find(';');
        g_dlg.answers.emplace_back(rest.substr(0, semi));
        if (semi == std::string_view::npos) break;
        rest.remove_prefix(semi + 1);
    }
    if (g_dlg.answers.size() == 1 && g_dlg.answers[0].empty()) g_dlg.answers.clear();
}

// The next scripted answer; false when the list is used up.
bool next_answer(std::string* out)
{
    if (!g_dlg.script_read) read_script();
    if (g_dlg.next >= g_dlg.answers.size()) return false;
    *out = g_dlg.answers[g_dlg.next++];
    return true;
}

// A text between quotes in the log line, its own quotes escaped (the line
// escapes its control characters whole).
std::string quoted(const char* text)
{
    std::string out;
    for (const char c : std::string_view(text ? text : "")) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out;
}

void log_dialog(const char* kind, const char* caption, const char* text, const std::string& answer)
{
    plat_log_line("dialog: %s \"%s\" \"%s\" -> %s", kind, quoted(caption).c_str(),
                  quoted(text).c_str(), answer.c_str());
}

// How often a running dialog looks whether the window needs its frame again.
constexpr guint PLAT_REDRAW_CHECK_MS = 30;

gboolean redraw_tick(gpointer)
{
    plat_dialog_redraw_if_exposed();
    return G_SOURCE_CONTINUE;
}

// For the life of a modal dialog: the frame last presented is kept and put
// into the window again whenever the window is exposed.
class FrameHeld {
public:
    FrameHeld() : source_(g_timeout_add(PLAT_REDRAW_CHECK_MS, redraw_tick, nullptr))
    {
        plat_dialog_hold_frame();
    }
    ~FrameHeld() { g_source_remove(source_); }
    FrameHeld(const FrameHeld&) = delete;
    FrameHeld& operator=(const FrameHeld&) = delete;

private:
    guint source_;
};

void drain_gtk(void)
{
    while (gtk_events_pending()) gtk_main_iteration();
}

// How often a running dialog looks whether an end signal came. The signal's
// handler only sets a flag and may run on any thread GTK started, so the
// dialog's loop asks instead of being woken.
constexpr guint PLAT_END_CHECK_MS = 30;

gboolean cancel_on_end_signal(gpointer dialog)
{
    if (plat_term_requested()) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    return G_SOURCE_CONTINUE;
}

// Runs a modal dialog to its answer; an end signal answers it as Cancel, so
// that the program reaches its shut-down.
gint run_dialog(GtkWidget* dlg)
{
    const guint watch = g_timeout_add(PLAT_END_CHECK_MS, cancel_on_end_signal, dlg);
    const gint response = gtk_dialog_run(GTK_DIALOG(dlg));
    g_source_remove(watch);
    return response;
}

// The program's window as GDK sees it, for a dialog to belong to; null when there is none or
// the window and GTK are not both on the same kind of X display. Unreferenced by the caller.
GdkWindow* main_window_for_gdk(GdkDisplay* display)
{
    SDL_Window* sdl = plat_window_sdl();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!sdl || !GDK_IS_X11_DISPLAY(display) || !SDL_GetWindowWMInfo(sdl, &info) ||
        info.subsystem != SDL_SYSWM_X11)
        return nullptr;
    return gdk_x11_window_foreign_new_for_display(display, info.info.x11.window);
}

// The X server's time now, which a window manager compares with the time of the person's last
// action; GDK's "current time" where GTK is not on X.
guint32 server_time_now(GdkWindow* w)
{
    return GDK_IS_X11_WINDOW(w) ? gdk_x11_get_server_time(w) : GDK_CURRENT_TIME;
}

// The dialog asks for the keyboard once it is on the screen, as of now: the person's keys go
// to the program's window, not to GTK, so GTK's own time of the last key is old or none, and a
// window manager that keeps focus from windows opened before the person's last action would
// leave the keys with the program's window; without a window manager only this gives it focus.
gboolean focus_when_mapped(GtkWidget* dlg, GdkEvent*, gpointer)
{
    gtk_window_present_with_time(GTK_WINDOW(dlg), server_time_now(gtk_widget_get_window(dlg)));
    return FALSE;
}

// A modal dialog from its set-up to its end: it stands over the program's window, belongs to
// it and takes the keyboard when it opens, and the window's last frame is held meanwhile. The
// dialog is destroyed when this goes.
class ModalDialog {
public:
    explicit ModalDialog(GtkWidget* dlg) : dlg_(dlg)
    {
        gtk_window_set_keep_above(GTK_WINDOW(dlg), TRUE);
        gtk_widget_realize(dlg);
        GdkWindow* own = gtk_widget_get_window(dlg);
        main_ = main_window_for_gdk(gtk_widget_get_display(dlg));
        if (main_) gdk_window_set_transient_for(own, main_);
        // The window manager's first look, too, says the person opened it just now.
        if (GDK_IS_X11_WINDOW(own)) gdk_x11_window_set_user_time(own, server_time_now(own));
        g_signal_connect(dlg, "map-event", G_CALLBACK(focus_when_mapped), nullptr);
    }
    ~ModalDialog()
    {
        gtk_widget_destroy(dlg_);
        drain_gtk();
        // Only now the dialog is gone: it kept a bare pointer to the window it belonged to.
        if (main_) g_object_unref(main_);
    }
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    gint run() { return run_dialog(dlg_); }

private:
    GtkWidget* dlg_;
    GdkWindow* main_ = nullptr;
    FrameHeld held_;
};

// Return answers OK, as the first button of a box is its default answer; Escape still answers
// Cancel. GTK would otherwise focus the first button in its order, Cancel, and Return would
// answer that.
void ok_is_the_default(GtkWidget* dlg)
{
    gtk_dialog_set_default_response(GTK_DIALOG(dlg), GTK_RESPONSE_OK);
    if (GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dlg), GTK_RESPONSE_OK))
        gtk_widget_grab_focus(ok);
}

int gtk_message_box(const char* text, const char* caption, int type)
{
    // Once the program is ending nothing waits for an answer: the box is not
    // shown and answers as Cancel would.
    if (plat_term_requested()) return type == PLAT_MB_OKCANCEL ? PLAT_IDCANCEL : PLAT_IDOK;
    const PlatBoxBody body = plat_message_box_body(text, caption);
    GtkWidget* dlg =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL,
                               type == PLAT_MB_OKCANCEL ? GTK_MESSAGE_QUESTION : GTK_MESSAGE_INFO,
                               type == PLAT_MB_OKCANCEL ? GTK_BUTTONS_OK_CANCEL : GTK_BUTTONS_OK,
                               "%s", body.headline.c_str());
    if (!body.detail.empty())
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dlg), "%s",
                                                 body.detail.c_str());
    gtk_window_set_title(GTK_WINDOW(dlg), caption ? caption : "");
    ok_is_the_default(dlg);
    const gint response = ModalDialog(dlg).run();  // the dialog is gone after this line
    if (type != PLAT_MB_OKCANCEL) return PLAT_IDOK;
    return response == GTK_RESPONSE_OK ? PLAT_IDOK : PLAT_IDCANCEL;
}

int gtk_save_dialog(const char* filter_name, const char* filter_pattern, std::string* path)
{
    if (plat_term_requested()) return 0;  // the program is ending: cancelled unseen
    GtkWidget* dlg = gtk_file_chooser_dialog_new(
        PLAT_SAVE_CAPTION, nullptr, GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
        "_Save", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dlg);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, FALSE);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    if (filter_pattern && *filter_pattern) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, filter_name ? filter_name : filter_pattern);
        gtk_file_filter_add_pattern(filter, filter_pattern);
        gtk_file_chooser_add_filter(chooser, filter);
    }
    ModalDialog modal(dlg);
    if (modal.run() != GTK_RESPONSE_ACCEPT) return 0;
    char* name = gtk_file_chooser_get_filename(chooser);
    if (!name) return 0;
    *path = name;
    g_free(name);
    return 1;
}

// The answer is a name of this system, as the real dialog gives: '\' is a
// character of it, not a folder separator.
std::string absolute_path(const std::string& answer)
{
    if (!answer.empty() && answer[0] == '/') return answer;
    std::string cwd = plat_current_dir();
    if (!cwd.empty() && cwd.back() != '/') cwd += '/';
    return cwd + answer;
}

}  // namespace

PlatBoxBody plat_message_box_body(const char* text, const char* caption)
{
    PlatBoxBody body{caption ? caption : "", text ? text : ""};
    if (body.headline.empty()) std::swap(body.headline, body.detail);
    return body;
}

int plat_dialog_hold_frame(void)
{
    gfx_frame_keep();
    // The main loop draws nothing until this dialog ends, so an exposure not
    // yet answered gets the kept frame now: above all the one a dialog that
    // closed just before this one opened leaves where it stood.
    return plat_dialog_redraw_if_exposed();
}

int plat_dialog_redraw_if_exposed(void)
{
    return plat_window_pump_exposed() ? gfx_frame_show_kept() : 0;
}

int plat_dialogs_scripted(void)
{
    if (!g_dlg.mode_known) {
        const char* mode = std::getenv("QUORVEL_DIALOGS");
        const bool script = mode && std::strcmp(mode, "script") == 0;
        // GTK would switch the C locale to the user's, and number formats
        // written with "%f" must keep their decimal point.
        if (!script) gtk_disable_setlocale();
        g_dlg.scripted = script || !gtk_init_check(nullptr, nullptr);
        g_dlg.mode_known = 1;
    }
    return g_dlg.scripted;
}

void plat_dialogs_reset_script(void) { read_script(); }

int plat_message_box(const char* text, const char* caption, int type)
{
    const char* kind = type == PLAT_MB_OKCANCEL ? "question" : "message";
    int result = PLAT_IDOK;
    if (plat_dialogs_scripted()) {
        std::string answer;
        if (next_answer(&answer) && answer == "cancel" && type == PLAT_MB_OKCANCEL)
            result = PLAT_IDCANCEL;
    } else {
        result = gtk_message_box(text, caption, type);
    }
    log_dialog(kind, caption, text, result == PLAT_IDOK ? "ok" : "cancel");
    return result;
}

int plat_save_dialog(const char* filter_name, const char* filter_pattern, std::string* path)
{
    path->clear();
    int ok = 0;
    if (plat_dialogs_scripted()) {
        std::string answer;
        if (next_answer(&answer) && !answer.empty() && answer != "cancel") {
            *path = absolute_path(answer);
            ok = 1;
        }
    } else {
        ok = gtk_save_dialog(filter_name, filter_pattern, path);
    }
    log_dialog("save", PLAT_SAVE_CAPTION, filter_name, ok ? *path : std::string("cancel"));
    return ok;
}
