#include "SensorSocketPath.h"

#include <unistd.h>

#include <cstdlib>

std::string DefaultSensorSocketPath() {
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (runtimeDir != nullptr && *runtimeDir != '\0') {
    return std::string(runtimeDir) + "/tessiva/sensor.sock";
  }
  return "/tmp/tessiva-" + std::to_string(::getuid()) + "/sensor.sock";
}
