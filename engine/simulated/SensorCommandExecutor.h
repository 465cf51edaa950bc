#pragma once

#include <chrono>
#include <stop_token>
#include <string>
#include <string_view>

class TSimulatedFPEngX;

// Carries out one control line on the engine and returns the answer line. A touch is answered
// once the main thread has processed it and raised its events; the wait ends early with an
// error answer when ATouchTimeout passes or AStop is requested.
std::string ExecuteSensorCommand(TSimulatedFPEngX& AEngine, std::string_view ALine,
                                 std::stop_token AStop, std::chrono::milliseconds ATouchTimeout);
