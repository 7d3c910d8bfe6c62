// Parsing the scripted input of end-to-end tests.
#include "plat/input_script_local.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <tuple>

TEST(InputScript, ParsesEveryVerbSortsByFrameAndMalformedLinesRefuseTheWholeScript)
{
    std::vector<ScriptEvent> ev;
    std::string error;
    ASSERT_TRUE(plat_input_script_parse("# a comment\n"
                                        "5 move 10 20\n"
                                        "\n"
                                        "3 keydown T   # trailing comment\n"
                                        "5 down left\n"
                                        "6 up right\n"
                                        "3 keyup Space\n"
                                        "9 close\n",
                                        &ev, &error))
        << error;
    // Frame, kind, x, y, button, key; events of one frame keep the script's order.
    using E = std::tuple<uint32_t, ScriptEventKind, int32_t, int32_t, int32_t, int32_t>;
    std::vector<E> got;
    for (const ScriptEvent& e : ev) got.emplace_back(e.frame, e.kind, e.x, e.y, e.button, e.key);
    EXPECT_EQ(got, (std::vector<E>{{3, ScriptEventKind::key_down, 0, 0, 0, SDLK_t},
                                   {3, ScriptEventKind::key_up, 0, 0, 0, SDLK_SPACE},
                                   {5, ScriptEventKind::move, 10, 20, 0, 0},
                                   {5, ScriptEventKind::button_down, 0, 0, SDL_BUTTON_LEFT, 0},
                                   {6, ScriptEventKind::button_up, 0, 0, SDL_BUTTON_RIGHT, 0},
                                   {9, ScriptEventKind::close, 0, 0, 0, 0}}));
    for (const char* bad : {"x move 1 2", "1 move 1", "1 down middle", "1 keydown NoSuchKey",
                            "1 jump", "1 close now", "1 down left outside", "1 up left inside",
                            "1 up left outside x", "-1 close", "1", "99999999999 close"}) {
        const std::string text = std::string("0 move 1 1\n") + bad + "\n";
        EXPECT_FALSE(plat_input_script_parse(text, &ev, &error)) << bad;
        EXPECT_TRUE(ev.empty());
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    }
    EXPECT_TRUE(plat_input_script_parse("", &ev, &error));
    EXPECT_TRUE(ev.empty());
}
