#pragma once

#include "NqFPEngXControl_TLB.h"
#include "TessivaTemplates.h"
#include "Timings.h"

// The engine's matching speed through its interface, on the templates it made: one 1:1
// comparison of template texts (VerFingerFromStr: each enrolment against its own finger's
// probes and the next finger's), and one identification in a 1:N cache of ACacheSize
// enrolled templates (the enrolments and probes made, repeated until the cache is full).
struct TEngineSpeed {
  TTimings ComparisonMicroseconds;      // mean, p99
  TTimings IdentificationMilliseconds;  // mean, p95
  int CacheSize = 0;
};

TEngineSpeed MeasureEngineSpeed(TNqFPEngX& AEngine, const TTessivaTemplates& ATemplates, int ACacheSize);
