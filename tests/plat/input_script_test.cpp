// Parsing the scripted input of end-to-end tests.
#include "plat/input_script.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

TEST(InputScript, ParsesEveryVerbAndSortsByFrame)
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
    ASSERT_EQ(ev.size(), 6u);
    EXPECT_EQ(ev[0].frame, 3u);
    EXPECT_EQ(ev[0].kind, ScriptEventKind::key_down);
    EXPECT_EQ(ev[0].key, SDLK_t);
    EXPECT_EQ(ev[1].kind, ScriptEventKind::key_up);  // same frame keeps its order
    EXPECT_EQ(ev[1].key, SDLK_SPACE);
    EXPECT_EQ(ev[2].kind, ScriptEventKind::move);
    EXPECT_EQ(ev[2].x, 10);
    EXPECT_EQ(ev[2].y, 20);
    EXPECT_EQ(ev[3].kind, ScriptEventKind::button_down);
    EXPECT_EQ(ev[3].button, SDL_BUTTON_LEFT);
    EXPECT_EQ(ev[4].button, SDL_BUTTON_RIGHT);
    EXPECT_EQ(ev[5].kind, ScriptEventKind::close);
}

TEST(InputScript, MalformedLinesRefuseTheWholeScript)
{
    std::vector<ScriptEvent> ev;
    std::string error;
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
