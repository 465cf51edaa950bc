#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// tessiva-sensor's commands for libfprint's virtual image reader (Tessiva started with
// FP_VIRTUAL_IMAGE, as by `make run SENSOR=virtual`): "press FILE" presses a PGM or PNG image,
// "press-synthetic FINGER [IMPRESSION]" a generated finger. Nothing when AWords is not one of
// them; else the exit status, with the failure or "ok" printed: "ok" and the quality line the
// bridge at ABridgePort broadcast for the press, or why that is unknown.
std::optional<int> RunVirtualPressCommand(std::span<const std::string_view> AWords,
                                          uint16_t ABridgePort);
