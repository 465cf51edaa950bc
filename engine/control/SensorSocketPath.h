#pragma once

#include <string>

// Where the simulated sensor's control socket lives: $XDG_RUNTIME_DIR/tessiva/sensor.sock, or
// /tmp/tessiva-<uid>/sensor.sock when that variable is unset or empty.
std::string DefaultSensorSocketPath();
