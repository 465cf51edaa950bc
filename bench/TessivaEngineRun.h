#pragma once

#include <functional>

#include "GreyImage.h"
#include "ImpressionSet.h"
#include "MainThreadQueue.h"
#include "NqFPEngXControl_TLB.h"
#include "TessivaTemplates.h"

// How the bench enrols and probes through the engine: the engine counts EnrolPresses usable
// presses (good or suspicious) of one finger; a finger is pressed 1, 2, ... until the enrolment
// ends, at most MostEnrolPresses times, as a person would. Its template is the protocol's
// enrolment only when the first EnrolPresses presses made it; presses EnrolPresses+1.. are the
// probes.
struct TTessivaProtocol {
  int EnrolPresses = 3;
  int MostEnrolPresses = 5;
};

// Drives a running engine as the bridge does, on this (its main) thread. For each finger
// AFirstFinger..AEndFinger-1, appended to ATemplates: its enrolment (BeginEnroll, the presses,
// OnEnroll), then a capture of each probe press (BeginCapture, the press, OnCapture), timed
// from the start of the press to its event. APress lays one image on the engine's reader. A
// capture the engine rates poor, or an enrolment it does not complete, gives no template.
void RunTessivaEngine(TNqFPEngX& AEngine, TLoopMainThreadQueue& AQueue,
                      const TImpressionSet& AImpressions, int AFirstFinger, int AEndFinger,
                      const TTessivaProtocol& AProtocol,
                      const std::function<void(const TGreyImage&)>& APress,
                      TTessivaTemplates& ATemplates);
