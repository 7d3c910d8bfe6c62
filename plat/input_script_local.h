// Scripted input: a test facility, not part of the program's behaviour; only the
// window and input modules of plat/ use it.
//
// When the environment variable QUORVEL_INPUT_SCRIPT names a file, the window
// layer feeds the events listed in it into SDL's event queue at the frames
// they name, so that an end-to-end test drives the real program as a person
// would (mouse moves, button and key presses held over frames, closing the
// window). Without the variable nothing here runs.
//
// Script: one event per line, '#' starts a comment, blank lines are skipped:
//   <frame> move <x> <y>            mouse to client pixel (x, y)
//   <frame> down left|right         button pressed at the latest position
//   <frame> up left|right           button released
//   <frame> up left|right outside   button released with the pointer away
//                                   from the window (the window hears
//                                   nothing of it; the device state does)
//   <frame> keydown <SDL key name>  e.g. T, Space, H
//   <frame> keyup <SDL key name>
//   <frame> close                   the window's close button
// Frames count the frames the main loop has run (0 before the first); an
// event of frame n is queued before frame n runs, after every event of an
// earlier frame. Lines out of order are sorted by frame, keeping their order
// within a frame. A malformed line makes the whole script refused: nothing is
// fed, and the reason goes to standard error.
// Main thread only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ScriptEventKind : uint8_t { move, button_down, button_up, key_down, key_up, close };

struct ScriptEvent {
    uint32_t frame;
    ScriptEventKind kind;
    int32_t x, y;    // move
    int32_t button;  // 1 left, 3 right (SDL numbering)
    bool outside;    // button_up away from the window
    int32_t key;     // SDL keycode
};

// Parses a script text; true and the sorted events, or false and the reason
// (line number and text) in error.
bool plat_input_script_parse(std::string_view text, std::vector<ScriptEvent>* events,
                             std::string* error);

// Called by the window layer on each pass. Loads the script named by
// QUORVEL_INPUT_SCRIPT on the first call; queues the events due before the
// coming frame as SDL events for the given window.
void plat_input_script_feed(uint32_t sdl_window_id);
// Called when a pass found no message: that pass runs a frame.
void plat_input_script_frame_passed(void);
// Frames counted so far (tests).
uint32_t plat_input_script_frame(void);
// While a script runs it is the pointer device: true and the buttons it holds
// (SDL button masks); false without a script.
bool plat_input_script_buttons(uint32_t* mask);
