#include "IdHashSHA1.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kBlockSize = 64;

uint32_t RotateLeft(uint32_t AValue, int ABits) {
  return (AValue << ABits) | (AValue >> (32 - ABits));
}

// One running computation; lives on the caller's stack for the length of one hash.
class TSHA1Context {
 public:
  void Update(const uint8_t* AData, size_t ALength) {
    if (ALength == 0) return;
    FLengthBytes += ALength;
    if (FFill > 0) {
      const size_t take = std::min(kBlockSize - FFill, ALength);
      std::memcpy(FBlock + FFill, AData, take);
      FFill += take;
      AData += take;
      ALength -= take;
      if (FFill < kBlockSize) return;
      Compress(FBlock);
      FFill = 0;
    }
    for (; ALength >= kBlockSize; AData += kBlockSize, ALength -= kBlockSize) Compress(AData);
    std::memcpy(FBlock, AData, ALength);
    FFill = ALength;
  }

  TIdHashSHA1::TDigest Finish() {
    const uint64_t lengthBits = FLengthBytes * 8;
    FBlock[FFill++] = 0x80;
    if (FFill > kBlockSize - 8) {
      std::memset(FBlock + FFill, 0, kBlockSize - FFill);
      Compress(FBlock);
      FFill = 0;
    }
    std::memset(FBlock + FFill, 0, kBlockSize - 8 - FFill);
    for (int i = 0; i < 8; ++i) FBlock[kBlockSize - 1 - i] = uint8_t(lengthBits >> (8 * i));
    Compress(FBlock);
    TIdHashSHA1::TDigest digest;
    for (int i = 0; i < 5; ++i)
      for (int j = 0; j < 4; ++j) digest[4 * i + j] = uint8_t(FState[i] >> (24 - 8 * j));
    return digest;
  }

 private:
  void Compress(const uint8_t* ABlock) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t)
      w[t] = uint32_t(ABlock[4 * t]) << 24 | uint32_t(ABlock[4 * t + 1]) << 16 |
             uint32_t(ABlock[4 * t + 2]) << 8 | uint32_t(ABlock[4 * t + 3]);
    for (int t = 16; t < 80; ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = FState[0], b = FState[1], c = FState[2], d = FState[3], e = FState[4];
    for (int t = 0; t < 80; ++t) {
      uint32_t f, k;
      if (t < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (t < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (t < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      const uint32_t temp = RotateLeft(a, 5) + f + e + k + w[t];
      e = d;
      d = c;
      c = RotateLeft(b, 30);
      b = a;
      a = temp;
    }
    FState[0] += a;
    FState[1] += b;
    FState[2] += c;
    FState[3] += d;
    FState[4] += e;
  }

  uint32_t FState[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  uint8_t FBlock[kBlockSize] = {};
  size_t FFill = 0;
  uint64_t FLengthBytes = 0;
};

}  // namespace

TIdHashSHA1::TDigest TIdHashSHA1::HashBytes(const uint8_t* AData, size_t ALength) const {
  TSHA1Context context;
  context.Update(AData, ALength);
  return context.Finish();
}

TIdHashSHA1::TDigest TIdHashSHA1::HashString(std::u16string_view AText,
                                             const IIdTextEncoding* AEncoding) const {
  const IIdTextEncoding& encoding = AEncoding ? *AEncoding : IdTextEncodingDefault();
  return HashBytes(encoding.GetBytes(AText));
}
