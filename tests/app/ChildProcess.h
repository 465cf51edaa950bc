#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

// A program started for a test, with its standard output and error captured. The destructor
// kills it (by its own pid) if it still runs, and reaps it.
class TChildProcess {
 public:
  // AEnvironment changes the test's environment: a value replaces, std::nullopt removes.
  TChildProcess(const std::string& AProgram,
                const std::map<std::string, std::optional<std::string>>& AEnvironment,
                std::vector<std::string> AArguments = {}) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
      const std::string text(*entry);
      const size_t equals = text.find('=');
      if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : AEnvironment) {
      if (value)
        variables[name] = *value;
      else
        variables.erase(name);
    }
    std::vector<std::string> entries;
    for (const auto& [name, value] : variables) entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = AProgram;
    std::vector<char*> argv{program.data()};
    for (std::string& argument : AArguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe2 failed");
    FPid = ::fork();
    if (FPid < 0) throw std::runtime_error("fork failed");
    if (FPid == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    FOut = out[0];
    FErr = err[0];
  }

  ~TChildProcess() {
    if (!FStatus) {
      ::kill(FPid, SIGKILL);
      int status;
      ::waitpid(FPid, &status, 0);
    }
    ::close(FOut);
    ::close(FErr);
  }
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  void Signal(int ASignal) { ::kill(FPid, ASignal); }

  // Reads output until AText appears in the chosen stream or the deadline passes.
  bool WaitForOutput(const std::string& AText, bool AStderr = false,
                     std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + ADeadline;
    const std::string& text = AStderr ? Err : Out;
    while (text.find(AText) == std::string::npos) {
      if (!ReadSome(end)) return text.find(AText) != std::string::npos;
    }
    return true;
  }

  // The wait status once the process has ended, or nothing when the deadline passes.
  std::optional<int> WaitForExit(std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + ADeadline;
    while (!FStatus) {
      int status;
      if (::waitpid(FPid, &status, WNOHANG) == FPid) {
        FStatus = status;
        break;
      }
      if (std::chrono::steady_clock::now() >= end) break;
      ReadSome(std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
    }
    while (FStatus && ReadSome(std::chrono::steady_clock::now())) {
    }
    return FStatus;
  }

  std::string Out;
  std::string Err;

 private:
  // Reads what either pipe has before ADeadline; false when nothing came.
  bool ReadSome(std::chrono::steady_clock::time_point ADeadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        ADeadline - std::chrono::steady_clock::now());
    pollfd fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
    if (::poll(fds, 2, int(std::max<int64_t>(0, left.count()))) <= 0) return false;
    bool got = false;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? Out : Err).append(buffer, size_t(n));
        got = true;
      }
    }
    return got;
  }

  pid_t FPid = -1;
  int FOut = -1;
  int FErr = -1;
  std::optional<int> FStatus;
};
