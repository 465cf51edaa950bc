#pragma once

// Template texts of the minutiae engine.
//
// Both formats are a prefix and the lowercase hexadecimal of big-endian bytes:
//
//   "TSF10:" hex( 10, width:2, height:2, quality, count, count x [x:2, y:2, direction:2], crc32:4 )
//            x and y in eighths of a pixel, the direction in 65536 steps of the full turn.
//   "TSF9:"  hex(  9, width:2, height:2, quality, count, count x [x:2, y:2, direction:1], crc32:4 )
//            Coarser: whole pixels and 256 direction steps; matches as well as format 10.
//
// An enrolment keeps its presses as separate samples, in the same two precisions:
//
//   "TSF10S:" hex( 110, samples, samples x [width:2, height:2, quality, count, count x minutia],
//                  crc32:4 )   minutiae as in "TSF10:"
//   "TSF9S:"  hex( 109, ... )  minutiae as in "TSF9:"
//
// The CRC-32 covers every preceding byte. Decoding is strict: the prefix and the version byte must
// agree, the length must fit the counts, samples lie in 1..kMaxTemplateSamples, width and height
// in 1..4096, quality in 0..100, and every minutia inside width x height. Any other text, the
// simulated engine's included, decodes to nothing.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Minutia.h"

struct TMinutiaeTemplate {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Quality = 0;
  std::vector<TMinutia> Minutiae;
};

inline constexpr int kMaxTemplateSide = 4096;
inline constexpr std::size_t kMaxTemplateMinutiae = 255;

// AFormat 9 or 10 (any other value writes format 10). Values out of range are clamped into it
// and minutiae past the 255th are left out, so the text always decodes.
std::u16string EncodeMinutiaeTemplate(const TMinutiaeTemplate& ATemplate, int AFormat);

// One press: a sampled text is not one and decodes to nothing.
std::optional<TMinutiaeTemplate> DecodeMinutiaeTemplate(std::u16string_view AText);

inline constexpr std::size_t kMaxTemplateSamples = 10;

// Samples past the tenth are left out; ASamples must not be empty.
std::u16string EncodeTemplateSamples(std::span<const TMinutiaeTemplate> ASamples, int AFormat);

// The samples of an enrolled finger: those of a sampled text, or the one template of an earlier
// single-press text.
std::optional<std::vector<TMinutiaeTemplate>> DecodeTemplateSamples(std::u16string_view AText);

// Why DecodeTemplateSamples reads nothing from AText, in words for whoever sent the text
// ("damaged template: checksum mismatch"); empty when it reads a template.
std::u16string_view TemplateSamplesFault(std::u16string_view AText);
