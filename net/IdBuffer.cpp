#include "IdBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "IdException.h"

void TIdBuffer::SetSizeLocked(int ASize) {
  FSize = ASize;
  FSizeSeen.store(ASize, std::memory_order_release);
}

void TIdBuffer::Write(const uint8_t* ABytes, int ALength) {
  if (ALength <= 0) return;
  std::lock_guard lock(FLock);
  if (ALength > std::numeric_limits<int>::max() - FSize) throw EIdTooMuchDataInBuffer();
  // Appended behind the unread bytes, never moving them: the array grows geometrically, so
  // appending costs the same per byte however much is buffered.
  FBytes.insert(FBytes.end(), ABytes, ABytes + ALength);
  SetSizeLocked(FSize + ALength);
}

void TIdBuffer::RemoveLocked(int AByteCount) {
  if (AByteCount >= FSize) {
    FHead = 0;
    SetSizeLocked(0);
    // A small array is kept for the next message; a large one goes back, so one large command
    // does not pin its memory for the life of the connection.
    if (FBytes.capacity() > kKeptCapacity)
      TIdBytes().swap(FBytes);
    else
      FBytes.clear();
    return;
  }
  FHead += AByteCount;
  SetSizeLocked(FSize - AByteCount);
  // Compacted only once the dead space is at least as large as what is left: each move is paid
  // for by the bytes consumed since the previous one, so consuming stays linear even when it goes
  // one byte at a time through megabytes of input.
  if (FHead <= kGrowthFactor || FHead < FSize) return;
  std::memmove(FBytes.data(), FBytes.data() + FHead, FSize);
  FBytesMoved += FSize;
  FHead = 0;
  FBytes.resize(FSize);
  if (FBytes.capacity() > kKeptCapacity && FBytes.capacity() / 2 > size_t(FSize) + kGrowthFactor) {
    FBytes.shrink_to_fit();
    FBytesMoved += FSize;
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

void TIdBuffer::Remove(int AByteCount) {
  if (AByteCount <= 0) return;
  std::lock_guard lock(FLock);
  RemoveLocked(AByteCount);
}

size_t TIdBuffer::Capacity() const {
  std::lock_guard lock(FLock);
  return FBytes.capacity();
}

uint64_t TIdBuffer::BytesMoved() const {
  std::lock_guard lock(FLock);
  return FBytesMoved;
}

void TIdBuffer::Clear() {
  std::lock_guard lock(FLock);
  RemoveLocked(FSize);
}
