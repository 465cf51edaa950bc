#pragma once

#include <functional>

#include "GreyImage.h"
#include "ImpressionSet.h"
#include "MainThreadQueue.h"
#include "NqFPEngXControl_TLB.h"
#include "TessivaTemplates.h"

// Drives a running engine as the bridge does, on this (its main) thread: per finger an
// enrolment of the first AEnrolPresses presses (BeginEnroll, the presses, OnEnroll), then a
// capture of each later press (BeginCapture, the press, OnCapture), timing each capture from
// the start of the press to its event. APress lays one image on the engine's reader. A capture
// the engine rates poor, or an enrolment it does not complete with these presses, gives no
// template. Every press is made once.
TTessivaTemplates RunTessivaEngine(TNqFPEngX& AEngine, TLoopMainThreadQueue& AQueue,
                                   const TImpressionSet& AImpressions, int AEnrolPresses,
                                   const std::function<void(const TGreyImage&)>& APress);
