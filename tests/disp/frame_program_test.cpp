// The built program when its display cannot start: exit code 1 after a message, no crash.
#include <gtest/gtest.h>

#include "child_proc.h"

using namespace std::chrono_literals;

TEST(FrameProgram, ADisplayThatCannotStartEndsWithOneAfterAMessage)
{
    // The dummy video driver offers no GL context to draw with.
    const pid_t pid = spawn_program({{"SDL_VIDEODRIVER", "dummy"},
                                     {"QUORVEL_DIALOGS", "script"},
                                     {"QUORVEL_IPC_PREFIX", plat_ipc_prefix() + "nodev-"}});
    int status = 0;
    const bool ended = wait_child(pid, &status, 60s);
    if (!ended) kill_child(pid);
    ASSERT_TRUE(ended);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
}
