// The input script's parser and the feeder that pushes its events into SDL's queue frame by
// frame (see input_script_local.h for the script's form).
#include "plat/input_script_local.h"

#include <SDL2/SDL.h>

#include "plat/files.h"
#include "plat/log_text.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace {

struct ScriptState {
    int loaded;  // the variable was looked at
    std::vector<ScriptEvent> events;
    size_t next;     // first event not yet fed
    uint32_t frame;  // frames run so far
    int32_t x, y;    // latest scripted mouse position
    uint32_t held;   // SDL button masks of the buttons held down
};

ScriptState g_script;

bool parse_button(const std::string& word, int32_t* button)
{
    if (word == "left")
        *button = SDL_BUTTON_LEFT;
    else if (word == "right")
        *button = SDL_BUTTON_RIGHT;
    else
        return false;
    return true;
}

bool parse_line(const std::string& line, ScriptEvent* ev, bool* empty)
{
    std::istringstream in(line.substr(0, line.find('#')));
    std::string frame_word, verb;
    *empty = false;
    if (!(in >> frame_word)) {
        *empty = true;
        return true;
    }
    char* end = nullptr;
    const unsigned long frame = std::strtoul(frame_word.c_str(), &end, 10);
    if (*end != '\0' || frame > UINT32_MAX || !(in >> verb)) return false;
    *ev = ScriptEvent{static_cast<uint32_t>(frame), ScriptEventKind::move, 0, 0, 0, false, 0};
    std::string arg;
    if (verb == "move") {
        if (!(in >> ev->x >> ev->y)) return false;
    } else if (verb == "down" || verb == "up") {
        ev->kind = verb == "down" ? ScriptEventKind::button_down : ScriptEventKind::button_up;
        if (!(in >> arg) || !parse_button(arg, &ev->button)) return false;
        if (ev->kind == ScriptEventKind::button_up && in >> arg) {
            if (arg != "outside") return false;
            ev->outside = true;
        }
    } else if (verb == "keydown" || verb == "keyup") {
        ev->kind = verb == "keydown" ? ScriptEventKind::key_down : ScriptEventKind::key_up;
        if (!(in >> arg)) return false;
        ev->key = SDL_GetKeyFromName(arg.c_str());
        if (ev->key == SDLK_UNKNOWN) return false;
    } else if (verb == "close") {
        ev->kind = ScriptEventKind::close;
    } else {
        return false;
    }
    return !(in >> arg);  // nothing may follow
}

void push(const ScriptEvent& ev, uint32_t window_id)
{
    SDL_Event e{};
    const bool press =
        ev.kind == ScriptEventKind::button_down || ev.kind == ScriptEventKind::key_down;
    const uint8_t state = press ? SDL_PRESSED : SDL_RELEASED;
    switch (ev.kind) {
    case ScriptEventKind::move:
        g_script.x = ev.x;
        g_script.y = ev.y;
        e.type = SDL_MOUSEMOTION;
        e.motion = SDL_MouseMotionEvent{e.type, 0, window_id, 0, 0, ev.x, ev.y, 0, 0};
        break;
    case ScriptEventKind::button_down:
    case ScriptEventKind::button_up:
        e.type = press ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        // Away from an uncaptured window SDL reports the release for no window.
        e.button = SDL_MouseButtonEvent{e.type,
                                        0,
                                        ev.outside ? 0 : window_id,
                                        0,
                                        static_cast<uint8_t>(ev.button),
                                        state,
                                        1,
                                        0,
                                        g_script.x,
                                        g_script.y};
        if (press)
            g_script.held |= SDL_BUTTON(ev.button);
        else
            g_script.held &= ~SDL_BUTTON(ev.button);
        break;
    case ScriptEventKind::key_down:
    case ScriptEventKind::key_up:
        e.type = press ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = window_id;
        e.key.state = state;
        e.key.keysym.sym = ev.key;
        e.key.keysym.scancode = SDL_GetScancodeFromKey(ev.key);
        break;
    case ScriptEventKind::close:
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = window_id;
        e.window.event = SDL_WINDOWEVENT_CLOSE;
        break;
    }
    SDL_PushEvent(&e);
}

void load_once(void)
{
    if (g_script.loaded) return;
    g_script.loaded = 1;
    const char* path = std::getenv("QUORVEL_INPUT_SCRIPT");
    if (!path || !*path) return;
    std::vector<uint8_t> bytes;
    std::string why;
    if (!plat_read_data_file(path, PLAT_DATA_FILE_MAX, &bytes, &why)) {
        if (why.empty()) plat_log_line("input script: cannot read %s", path);  // missing
        return;
    }
    std::string error;
    const std::string text(bytes.begin(), bytes.end());
    if (!plat_input_script_parse(text, &g_script.events, &error)) {
        plat_log_line("input script: %s", error.c_str());
        g_script.events.clear();
    }
}

}  // namespace

bool plat_input_script_parse(std::string_view text, std::vector<ScriptEvent>* events,
                             std::string* error)
{
    events->clear();
    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        ScriptEvent ev{};
        bool empty = false;
        if (!parse_line(line, &ev, &empty)) {
            *error = "line " + std::to_string(number) + ": " + line;
            events->clear();
            return false;
        }
        if (!empty) events->push_back(ev);
    }
    std::stable_sort(events->begin(), events->end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.frame < b.frame; });
    return true;
}

void plat_input_script_feed(uint32_t sdl_window_id)
{
    load_once();
    while (g_script.next < g_script.events.size() &&
           g_script.events[g_script.next].frame <= g_script.frame) {
        push(g_script.events[g_script.next], sdl_window_id);
        ++g_script.next;
    }
}

void plat_input_script_frame_passed(void) { ++g_script.frame; }

uint32_t plat_input_script_frame(void) { return g_script.frame; }

bool plat_input_script_buttons(uint32_t* mask)
{
    load_once();
    if (g_script.events.empty()) return false;
    *mask = g_script.held;
    return true;
}
