#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "MainThreadQueue.h"
#include "SimulatedFPEngX.h"
#include "UniqueFd.h"

extern char** environ;

namespace {

struct TToolRun {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};

std::string ReadAll(int AFd) {
  std::string text;
  char chunk[512];
  ssize_t received;
  while ((received = ::read(AFd, chunk, sizeof(chunk))) > 0) {
    text.append(chunk, static_cast<std::size_t>(received));
  }
  return text;
}

// Runs tessiva-sensor with AArgs and collects its output and exit status.
TToolRun RunTool(const std::vector<std::string>& AArgs) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
  TUniqueFd outRead(out[0]), outWrite(out[1]), errRead(err[0]), errWrite(err[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<std::string> words{TESSIVA_SENSOR_TOOL};
  words.insert(words.end(), AArgs.begin(), AArgs.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned =
      ::posix_spawn(&pid, TESSIVA_SENSOR_TOOL, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return {};
  outWrite.Reset();
  errWrite.Reset();
  TToolRun run;
  run.Out = ReadAll(outRead.Get());
  run.Err = ReadAll(errRead.Get());
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.ExitCode = WEXITSTATUS(status);
  return run;
}

class SensorToolTest : public ::testing::Test {
 protected:
  TToolRun Run(const std::vector<std::string>& AArgs) {
    return WhileServing(Queue, [&] { return RunTool(AArgs); });
  }

  TTempDir Dir;
  const std::string Path = Dir.File("sensor.sock");
  TLoopMainThreadQueue Queue;
  TSimulatedFPEngX Engine{Queue, Path};
  TEventRecorder Recorder{Engine};
};

TEST_F(SensorToolTest, OkAnswerIsPrintedAndExitsZero) {
  ASSERT_EQ(Engine.InitEngine(), 0);
  const TToolRun run = Run({"--socket", Path, "touch", "3", "72"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out, "ok captured quality=72 class=good\n");
  EXPECT_EQ(Recorder.Events().size(), 2u);
}

TEST_F(SensorToolTest, ErrorAnswerExitsOne) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--socket", Path, "touch", "0"},
                                                                {"--socket", Path, "touch", "3"}}) {
    const TToolRun run = Run(args);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Out.starts_with("error ")) << run.Out;
  }
}

TEST_F(SensorToolTest, NoEngineOrNoCommandExitsTwo) {
  const TToolRun unreachable = Run({"--socket", Dir.File("missing.sock"), "status"});
  EXPECT_EQ(unreachable.ExitCode, 2);
  EXPECT_EQ(unreachable.Out, "");
  EXPECT_NE(unreachable.Err.find("cannot connect"), std::string::npos) << unreachable.Err;

  for (const auto& args :
       std::vector<std::vector<std::string>>{{}, {"--socket", Path}, {"--socket"}}) {
    const TToolRun usage = Run(args);
    EXPECT_EQ(usage.ExitCode, 2);
    EXPECT_NE(usage.Err.find("usage"), std::string::npos) << usage.Err;
  }
}

}  // namespace
