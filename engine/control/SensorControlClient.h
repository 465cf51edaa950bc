#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

// The sensor's control socket could not be reached, or gave no answer in time.
class ESensorControlUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sends one command line to the control socket at ASocketPath and returns the answer line,
// without its newline. Raises ESensorControlUnavailable.
std::string SendSensorCommand(const std::string& ASocketPath, std::string_view ACommand,
                              std::chrono::milliseconds ATimeout);
