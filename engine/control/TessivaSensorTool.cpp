// tessiva-sensor: sends one command to the simulated sensor of a running Tessiva, or presses an
// image on its virtual image reader, and prints the answer. Exit status: 0 "ok", 1 "error" or an
// unusable image file, 2 no answer (not running, bad socket) or bad usage.

#include <charconv>
#include <chrono>
#include <iostream>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "SensorControlClient.h"
#include "SensorControlProtocol.h"
#include "SensorSocketPath.h"
#include "VirtualImageDevice.h"
#include "VirtualPressCommand.h"

namespace {

// Longer than the engine's own wait for the main thread, so its answer arrives first.
constexpr std::chrono::seconds kAnswerTimeout{20};

constexpr uint16_t kDefaultBridgePort = 9090;

void PrintUsage(std::ostream& AOut) {
  AOut << "usage: tessiva-sensor [--socket PATH] [--port N] COMMAND [ARGS...]\n"
          "       tessiva-sensor --help | --version\n"
          "Presses fingers on the sensor of a running Tessiva and prints what came of it.\n"
          "simulated sensor (Tessiva without a reader):\n"
          "          touch FINGER [QUALITY] [suspicious]  (QUALITY 0..100, default 80, below 50 "
          "poor)\n"
          "          unplug | plug | status | help\n"
          "libfprint's virtual image reader (Tessiva with FP_VIRTUAL_IMAGE, make run "
          "SENSOR=virtual):\n"
          "          press FILE  (PGM or PNG, 500 dpi, ridges dark)\n"
          "          press-synthetic FINGER [IMPRESSION]  (a generated finger, impression 1)\n"
          "          prints the quality line Tessiva sent its pages for the press, heard on its\n"
          "          WebSocket at localhost port N (--port, default 9090), or why it is unknown\n"
          "example:  tessiva-sensor touch 3 72\n"
          "socket:   "
       << DefaultSensorSocketPath()
       << " unless --socket is given;\n"
          "          the virtual reader's: "
       << DefaultVirtualImageSocketPath()
       << " (FP_VIRTUAL_IMAGE)\n"
          "exit status: 0 ok; 1 an error answer, or an image file that cannot be used;\n"
          "             2 no answer (Tessiva not running, or not with that sensor) or bad usage\n";
}

int Usage() {
  PrintUsage(std::cerr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string socketPath = DefaultSensorSocketPath();
  uint16_t bridgePort = kDefaultBridgePort;
  int first = 1;
  for (; first + 1 < argc; first += 2) {
    const std::string_view option = argv[first], value = argv[first + 1];
    if (option == "--socket") {
      socketPath = value;
    } else if (option == "--port") {
      const auto [end, error] =
          std::from_chars(value.data(), value.data() + value.size(), bridgePort);
      if (error != std::errc() || end != value.data() + value.size()) return Usage();
    } else {
      break;
    }
  }
  // An option without its value is left over here.
  if (first >= argc || std::string_view(argv[first]) == "--socket" ||
      std::string_view(argv[first]) == "--port")
    return Usage();
  // Answered here, without a running bridge.
  if (const std::string_view verb = argv[first]; verb == "--version") {
    std::cout << "tessiva-sensor " TESSIVA_VERSION "\n";
    return 0;
  } else if (verb == "--help" || verb == "-h" || verb == "help") {
    PrintUsage(std::cout);
    return 0;
  }
  const std::vector<std::string_view> words(argv + first, argv + argc);
  if (const auto status = RunVirtualPressCommand(words, bridgePort)) return *status;

  std::string command;
  for (int i = first; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word.find_first_of("\r\n") != std::string_view::npos) return Usage();
    if (!command.empty()) command.push_back(' ');
    command.append(word);
  }
  // A command the sensor would refuse is a usage error, told without asking it.
  const TSensorCommand parsed = ParseSensorCommand(command);
  if (const auto* malformed = std::get_if<TMalformedCommand>(&parsed)) {
    std::cerr << "tessiva-sensor: " << malformed->Reason << " (tessiva-sensor --help)\n";
    return 2;
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
