#include "IdBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "IdException.h"

int TIdBuffer::Size() const {
  std::lock_guard lock(FLock);
  return FSize;
}

void TIdBuffer::Write(const uint8_t* ABytes, int ALength) {
  if (ALength <= 0) return;
  std::lock_guard lock(FLock);
  if (ALength > std::numeric_limits<int>::max() - FSize) throw EIdTooMuchDataInBuffer();
  if (FSize == 0) {
    FHead = 0;
    FBytes.assign(ABytes, ABytes + ALength);
    FSize = ALength;
    return;
  }
  if (FHead > 0) {
    std::memmove(FBytes.data(), FBytes.data() + FHead, FSize);
    FHead = 0;
  }
  const size_t needed = size_t(FSize) + size_t(ALength);
  if (FBytes.size() < needed) FBytes.resize(needed + kGrowthFactor);
  std::memcpy(FBytes.data() + FSize, ABytes, ALength);
  FSize += ALength;
}

void TIdBuffer::RemoveLocked(int AByteCount) {
  if (AByteCount >= FSize) {
    FHead = 0;
    FSize = 0;
    FBytes.clear();
    return;
  }
  FHead += AByteCount;
  FSize -= AByteCount;
  if (FHead > kGrowthFactor) {
    std::memmove(FBytes.data(), FBytes.data() + FHead, FSize);
    FHead = 0;
    if (FBytes.size() > size_t(FSize) + kGrowthFactor) {
      FBytes.resize(size_t(FSize) + kGrowthFactor);
      FBytes.shrink_to_fit();
    }
  }
}

void TIdBuffer::ExtractToBytes(TIdBytes& VBytes, int AByteCount, bool AAppend, int AIndex) {
  std::lock_guard lock(FLock);
  const int start = AIndex < 0 ? 0 : AIndex;
  const int available = std::max(0, FSize - start);
  int count = AByteCount < 0 ? available : std::min(AByteCount, available);
  if (count <= 0) return;
  const uint8_t* source = FBytes.data() + FHead + start;
  if (AAppend) {
    VBytes.insert(VBytes.end(), source, source + count);
  } else {
    if (VBytes.size() < size_t(count)) VBytes.resize(count);
    std::memcpy(VBytes.data(), source, count);
  }
  if (AIndex < 0) RemoveLocked(count);
}

uint8_t TIdBuffer::ExtractByte() {
  std::lock_guard lock(FLock);
  const uint8_t b = FBytes[FHead];
  RemoveLocked(1);
  return b;
}

void TIdBuffer::Clear() {
  std::lock_guard lock(FLock);
  RemoveLocked(FSize);
}
