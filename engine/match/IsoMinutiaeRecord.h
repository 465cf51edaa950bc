#pragma once

// A finger minutiae record in the record format of ISO/IEC 19794-2:2005, which other matchers
// import. Every number is big-endian:
//
//   record header (24 bytes)
//     "FMR\0", " 20\0", record length:4, capture equipment: certification 4 bits and device
//     type 12 bits (both 0, not given), image width:2, image height:2, x and y resolution:2 each
//     (pixels per centimetre), finger views:1, reserved:1 (0)
//   per finger view: a header of 4 bytes
//     finger position:1 (0, unknown), view number 4 bits and impression type 4 bits (0, live-scan
//     plain), finger quality:1 (0..100), minutiae:1
//   then per minutia 6 bytes
//     type 2 bits (0, other: the templates do not tell endings from bifurcations) and x 14 bits,
//     2 reserved bits and y 14 bits, angle:1 (256 steps of the full turn, counter-clockwise from
//     the x axis), quality:1 (0, not given)
//   and an extended data block length:2 of 0.
//
// Each sample of a template becomes one view of the same finger, numbered from 0; the record's
// image size is the largest sample's. A position is the whole pixel it lies in.

#include <cstdint>
#include <span>
#include <vector>

#include "MinutiaeTemplate.h"

// The templates hold prints of 500 dpi readers: 197 pixels per centimetre.
inline constexpr uint16_t kIsoPixelsPerCentimetre = 197;

// ASamples must not be empty (a decoded template never is).
std::vector<uint8_t> IsoMinutiaeRecord(std::span<const TMinutiaeTemplate> ASamples);
