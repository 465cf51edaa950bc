#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "IdTextEncoding.h"

// A byte queue: received bytes not yet consumed. The connection's own thread fills and reads it
// while broadcasting threads ask whether it is empty, so every operation takes its lock, except
// Size: a broadcast asks every connection, and a snapshot of the count is all any caller gets,
// locked or not.
class TIdBuffer {
 public:
  static constexpr int kGrowthFactor = 2048;
  // The largest array an empty buffer keeps for the next message.
  static constexpr size_t kKeptCapacity = 16384;

  int Size() const { return FSizeSeen.load(std::memory_order_acquire); }
  // Appends ALength bytes; raises EIdTooMuchDataInBuffer past 2147483647 bytes.
  void Write(const uint8_t* ABytes, int ALength);
  // A negative count means every buffered byte; 0 (also an empty buffer with -1) leaves VBytes
  // untouched. With AAppend the bytes go after VBytes' content, else to its start (VBytes grows
  // to the count when shorter, never shrinks). A negative AIndex takes the bytes from the head and
  // removes them; a non-negative one copies from that position without removing.
  void ExtractToBytes(TIdBytes& VBytes, int AByteCount = -1, bool AAppend = true, int AIndex = -1);
  // Removes and returns the first byte; the buffer must not be empty.
  uint8_t ExtractByte();
  // Drops the first AByteCount bytes (all of them when there are fewer).
  void Remove(int AByteCount);
  void Clear();
  // The bytes the array holds room for, read or not.
  size_t Capacity() const;
  // Every byte housekeeping has moved inside the array so far: what keeping the array compact
  // has cost.
  uint64_t BytesMoved() const;

 private:
  void RemoveLocked(int AByteCount);
  void SetSizeLocked(int ASize);

  mutable std::mutex FLock;
  // Unread bytes are FBytes[FHead, FHead + FSize), and FBytes ends where they end.
  TIdBytes FBytes;
  int FHead = 0;
  int FSize = 0;
  // FSize for readers that take no lock; written only with FSize, under the lock.
  std::atomic<int> FSizeSeen{0};
  uint64_t FBytesMoved = 0;
};
