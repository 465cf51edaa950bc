#pragma once

#include <optional>
#include <span>
#include <string_view>

// tessiva-sensor's commands for libfprint's virtual image reader (Tessiva started with
// FP_VIRTUAL_IMAGE, as by `make run SENSOR=virtual`): "press FILE" presses a PGM or PNG image,
// "press-synthetic FINGER [IMPRESSION]" a generated finger. Nothing when AWords is not one of
// them; else the exit status, with "ok" or the failure printed.
std::optional<int> RunVirtualPressCommand(std::span<const std::string_view> AWords);
