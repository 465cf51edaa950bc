#pragma once

#include "NqFPEngXControl_TLB.h"
#include "TessivaTemplates.h"
#include "Timings.h"

// Matching speed on the templates the engine made, in milliseconds:
//  - one 1:1 comparison of template texts through the engine (VerFingerFromStr), each enrolment
//    against its own finger's probes and the next finger's (p99);
//  - one identification in a 1:N cache of ACacheSize enrolled templates, through the engine
//    (IdentificationInFPCacheDB), and with the matcher's prepared form (the cache prepared
//    once; each probe prepared in the time) (p95). The cache holds the enrolments and probes
//    made, repeated until full.
struct TEngineSpeed {
  TWorkTimings Comparison;
  TWorkTimings Identification;
  TWorkTimings PreparedIdentification;
  int CacheSize = 0;
};

TEngineSpeed MeasureEngineSpeed(TNqFPEngX& AEngine, const TTessivaTemplates& ATemplates, int ACacheSize);
