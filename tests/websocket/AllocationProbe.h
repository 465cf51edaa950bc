#pragma once

#include <cstddef>

// The largest single allocation through operator new since the last reset, for tests that show an
// operation allocates nothing big. Linking allocation_probe.cpp replaces the global operator new,
// except under ThreadSanitizer, whose runtime owns it: there the probe is unavailable.
bool AllocationProbeAvailable();
void ResetLargestAllocation();
size_t LargestAllocation();
