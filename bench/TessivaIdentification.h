#pragma once

#include <cstdint>
#include <vector>

#include "NqFPEngXControl_TLB.h"
#include "TessivaTemplates.h"

// Identification through the engine's 1:N cache (CreateFPCacheDBEx, AddRegTemplateStrToFPCacheDBEx,
// IdentificationInFPCacheDB), the path the bridge's identify takes: the best score at or above
// the engine's threshold wins.

// Each probe press in its gallery (IdentificationGallery.h; the order does not matter to the
// best score), timed from the call to its answer. A probe without template is not identified.
struct TTessivaIdentification {
  int Finger = 0;
  bool Tried = false;  // the probe press gave a template
  bool Correct = false;
  double Milliseconds = 0;
};
std::vector<TTessivaIdentification> IdentifyInGalleries(TNqFPEngX& AEngine,
                                                        const TTessivaTemplates& ATemplates,
                                                        int AGallerySize, uint32_t AGallerySeed);

// Fingers AFirstStranger.. are never enrolled: their probe presses are identified among the
// enrolments (as a person makes them, Enrolments) of the fingers before.
struct TStrangerCheck {
  int EnrolledFingers = 0;
  int FirstStranger = 0;
  int StrangerFingers = 0;
  int Probes = 0;
  int ProbesIdentified = 0;
  int StrangersIdentified = 0;  // fingers with any probe identified as someone
};
TStrangerCheck IdentifyStrangers(TNqFPEngX& AEngine, const TTessivaTemplates& ATemplates,
                                 int AFirstStranger);
