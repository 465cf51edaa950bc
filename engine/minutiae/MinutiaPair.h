#pragma once

#include <cstdint>

// A minutia of the enrolled template taken for the same one of the probe.
struct TMinutiaPair {
  uint16_t Enrolled = 0;
  uint16_t Probe = 0;
};
