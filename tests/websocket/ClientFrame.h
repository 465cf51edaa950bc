#pragma once

#include <cstdint>

#include "IdTextEncoding.h"

// A frame as a client sends it: any first byte, masked with a key free of 0x81 (so refused frames
// are consumed one byte per read), in the shortest length form.
inline TIdBytes ClientFrame(uint8_t AFirst, const TIdBytes& APayload) {
  const uint8_t key[4] = {0x11, 0x22, 0x33, 0x44};
  TIdBytes frame{AFirst};
  const size_t n = APayload.size();
  if (n <= 125) {
    frame.push_back(uint8_t(0x80 | n));
  } else if (n <= 0xFFFF) {
    frame.insert(frame.end(), {0xFE, uint8_t(n >> 8), uint8_t(n)});
  } else {
    frame.push_back(0xFF);
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(uint8_t(uint64_t(n) >> shift));
  }
  frame.insert(frame.end(), key, key + 4);
  for (size_t i = 0; i < n; ++i) frame.push_back(APayload[i] ^ key[i % 4]);
  return frame;
}
