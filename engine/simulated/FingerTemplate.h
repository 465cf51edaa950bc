#pragma once

// Template texts of the simulated engine.
//
// A template is a feature set (see FingerFeatures.h) written as ASCII text: a format prefix
// followed by the lowercase hexadecimal of the feature bytes. Two formats exist:
//
//   Format "9"   "NQ9:"  + hex( count, count x [x, y, (angle >> 1) | kind << 7] )
//                Compact: three bytes per minutia, the direction kept to 128 steps; no quality
//                and no checksum.
//   Format "10"  "NQ10:" + hex( 10, quality, count, count x [x, y, angle, kind], fletcher16 )
//                A version byte, the image quality, four bytes per minutia with the full
//                direction, and a Fletcher-16 checksum (big-endian) over all preceding bytes.
//
// count is at most 64. Decoding accepts upper- or lowercase hex and rejects anything else: an
// unknown prefix, odd length, a non-hex character, a count that disagrees with the length, a
// bad kind, quality or checksum. A rejected text never matches anything.
//
// Scoring (FingerMatcher.h) pairs minutiae of the two sets greedily, closest first: a pair must
// be of the same kind, at most 10 apart on each axis and at most 16 direction steps apart.
// With m pairs out of a and b minutiae the score is round(100 * m * m / (a * b)), 0..100, and
// fully determined by the two sets. Presses of one finger at quality 50 or better score about
// 60-100 (an enrolled template against such a press 90-100); very poor images fall towards 15.
// Presses of different fingers share a pair or two by chance and score 0-2. Matching succeeds
// from the engine's thresholds (10) upward. Both formats decode to comparable sets, so a format-"9"
// and a format-"10" template of one finger match as well.

#include <optional>
#include <string>
#include <string_view>

#include "FingerFeatures.h"

enum class TTemplateFormat { V9, V10 };

// "9" or "10"; anything else has no format.
std::optional<TTemplateFormat> TemplateFormatFromVersion(std::u16string_view AVersion);
std::u16string TemplateFormatVersion(TTemplateFormat AFormat);

std::u16string EncodeTemplate(const TFeatureSet& AFeatures, TTemplateFormat AFormat);

// The feature set of a template text of either format, or nothing if the text is not one.
std::optional<TFeatureSet> DecodeTemplate(std::u16string_view AText);

// Why DecodeTemplate reads nothing from AText, in words for whoever sent the text ("damaged
// template: checksum mismatch"); empty when it reads a template.
std::u16string_view FingerTemplateFault(std::u16string_view AText);
