// tessiva-sensor: sends one command to the simulated sensor of a running Tessiva, or presses an
// image on its virtual image reader, and prints the answer. Exit status: 0 "ok", 1 "error", 2 no
// answer (not running, bad socket, usage).

#include <chrono>
#include <iostream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "SensorControlClient.h"
#include "SensorSocketPath.h"
#include "VirtualImageDevice.h"
#include "VirtualPressCommand.h"

namespace {

// Longer than the engine's own wait for the main thread, so its answer arrives first.
constexpr std::chrono::seconds kAnswerTimeout{20};

void PrintUsage(std::ostream& AOut) {
  AOut << "usage: tessiva-sensor [--socket PATH] COMMAND [ARGS...]\n"
          "       tessiva-sensor --help | --version\n"
          "Presses fingers on the simulated sensor of a running Tessiva and prints its answer.\n"
          "commands: touch FINGER [QUALITY] [suspicious]  (QUALITY 0..100, default 80, below 50 "
          "poor)\n"
          "          unplug | plug | status | help\n"
          "virtual image reader (make run SENSOR=virtual):\n"
          "          press FILE  (PGM or PNG, 500 dpi, ridges dark)\n"
          "          press-synthetic FINGER [IMPRESSION]  (a generated finger, impression 1)\n"
          "example:  tessiva-sensor touch 3 72\n"
          "socket:   "
       << DefaultSensorSocketPath()
       << " unless --socket is given;\n"
          "          the virtual reader's: "
       << DefaultVirtualImageSocketPath() << " (FP_VIRTUAL_IMAGE)\n"
          "exit status: 0 ok, 1 error answer, 2 no answer (Tessiva not running) or bad usage\n";
}

int Usage() {
  PrintUsage(std::cerr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string socketPath = DefaultSensorSocketPath();
  int first = 1;
  if (first < argc && std::string_view(argv[first]) == "--socket") {
    if (first + 1 >= argc) return Usage();
    socketPath = argv[first + 1];
    first += 2;
  }
  if (first >= argc) return Usage();
  // Answered here, without a running bridge.
  if (const std::string_view verb = argv[first]; verb == "--version") {
    std::cout << "tessiva-sensor " TESSIVA_VERSION "\n";
    return 0;
  } else if (verb == "--help" || verb == "-h" || verb == "help") {
    PrintUsage(std::cout);
    return 0;
  }
  const std::vector<std::string_view> words(argv + first, argv + argc);
  if (const auto status = RunVirtualPressCommand(words)) return *status;

  std::string command;
  for (int i = first; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word.find_first_of("\r\n") != std::string_view::npos) return Usage();
    if (!command.empty()) command.push_back(' ');
    command.append(word);
  }
  try {
    const std::string answer = SendSensorCommand(socketPath, command, kAnswerTimeout);
    std::cout << answer << '\n';
    return answer == "ok" || answer.starts_with("ok ") ? 0 : 1;
  } catch (const ESensorControlUnavailable& error) {
    std::cerr << "tessiva-sensor: " << error.what() << " (is Tessiva running?)\n";
    return 2;
  }
}
