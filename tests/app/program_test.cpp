// The built program, headless: it runs until SIGTERM and then shuts down
// with exit code 0; a second start while it runs ends at once with 0; a
// killed first run does not block the next.
#include <gtest/gtest.h>

#include <string>

#include "child_proc.h"

namespace {

using namespace std::chrono_literals;
using Env = std::vector<std::pair<std::string, std::string>>;

// The starts of one test meet through one prefix that no other test process
// uses (and whose lock files this process removes when it ends).
Env program_env(const char* tag) {
  return {{"SDL_VIDEODRIVER", "offscreen"},
          {"QUORVEL_DIALOGS", "script"},
          {"QUORVEL_IPC_PREFIX", plat_ipc_prefix() + tag}};
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

// Starts the program and lets it run for a second; -1 when it ended early.
pid_t start_running(const Env& env) {
  const pid_t pid = spawn_program(env);
  if (pid <= 0 || !still_running(pid, 1000ms)) return -1;
  return pid;
}

TEST(Program, RunsUntilSigtermThenExitsZero) {
  const pid_t first = start_running(program_env("a"));
  ASSERT_GT(first, 0);
  EXPECT_EQ(exit_code_after_sigterm(first), 0);
}

TEST(Program, ASecondStartEndsAtOnceWithZero) {
  const Env env = program_env("b");
  const pid_t first = start_running(env);
  ASSERT_GT(first, 0);
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
  const pid_t first = start_running(env);
  ASSERT_GT(first, 0);
  kill_child(first);
  const pid_t next = start_running(env);
  ASSERT_GT(next, 0) << "the next start ended as a second instance";
  EXPECT_EQ(exit_code_after_sigterm(next), 0);
}

}  // namespace
