// The built program, headless: it runs until SIGTERM and then shuts down
// with exit code 0; a second start while it runs ends at once with 0; a
// killed first run does not block the next.
#include <gtest/gtest.h>

#include <string>

#include "child_proc.h"

namespace {

using namespace std::chrono_literals;
using Env = std::vector<std::pair<std::string, std::string>>;

// The two starts of one test meet through one prefix that no other test
// process uses.
Env program_env(const char* tag) {
  return {{"SDL_VIDEODRIVER", "offscreen"},
          {"QUORVEL_DIALOGS", "script"},
          {"QUORVEL_IPC_PREFIX", "qvp" + std::to_string(::getpid()) + tag}};
}

// true when the child still runs after d.
bool still_running(pid_t pid, std::chrono::milliseconds d) {
  int status = 0;
  return !wait_child(pid, &status, d);
}

int exit_code_after_sigterm(pid_t pid) {
  ::kill(pid, SIGTERM);
  int status = 0;
  if (!wait_child(pid, &status, 60s)) {
    kill_child(pid);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

TEST(Program, RunsUntilSigtermThenExitsZero) {
  const pid_t first = spawn_program(program_env("a"));
  ASSERT_GT(first, 0);
  ASSERT_TRUE(still_running(first, 1000ms));
  EXPECT_EQ(exit_code_after_sigterm(first), 0);
}

TEST(Program, ASecondStartEndsAtOnceWithZero) {
  const Env env = program_env("b");
  const pid_t first = spawn_program(env);
  ASSERT_GT(first, 0);
  ASSERT_TRUE(still_running(first, 1000ms));
  const pid_t second = spawn_program(env);
  int status = 0;
  ASSERT_TRUE(wait_child(second, &status, 30s)) << "the second start kept running";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(still_running(first, 10ms));
  EXPECT_EQ(exit_code_after_sigterm(first), 0);
}

TEST(Program, AKilledRunDoesNotBlockTheNext) {
  const Env env = program_env("c");
  const pid_t first = spawn_program(env);
  ASSERT_GT(first, 0);
  ASSERT_TRUE(still_running(first, 1000ms));
  kill_child(first);
  const pid_t next = spawn_program(env);
  ASSERT_TRUE(still_running(next, 1000ms)) << "the next start ended as a second instance";
  EXPECT_EQ(exit_code_after_sigterm(next), 0);
}

}  // namespace
