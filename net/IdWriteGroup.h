#pragma once

#include <chrono>
#include <mutex>
#include <vector>

#include "IdIOHandler.h"

// Writes one array to several connections under one shared time bound, so that k peers that
// stopped reading cost one bound, not k, and the others are not kept waiting behind them.
//
// Add offers the bytes to a connection at once, without waiting; Finish then waits for all
// connections that have not taken everything yet together, each until its WriteTimeout after it
// fell behind (the group's creation, or an earlier group's that it could not keep up with either),
// and closes every one still behind at its deadline (its own thread then ends). Each connection's writes stay locked from Add until it is done, so nothing
// else is written into the middle of the array. A connection whose write fails is left to its own
// thread, which finds it broken; the others are served regardless.
class TIdWriteGroup {
 public:
  TIdWriteGroup(const uint8_t* AData, int ALength);
  explicit TIdWriteGroup(const TIdBytes& AData)
      : TIdWriteGroup(AData.data(), static_cast<int>(AData.size())) {}
  // Closes the connections that have not taken everything: what they got is not a whole array.
  ~TIdWriteGroup();
  TIdWriteGroup(const TIdWriteGroup&) = delete;
  TIdWriteGroup& operator=(const TIdWriteGroup&) = delete;

  void Add(TIdIOHandler& AHandler);
  void Finish();

 private:
  struct TPending {
    TIdIOHandler* Handler;
    std::unique_lock<std::recursive_mutex> Writes;
    int Position;
    // None when the connection's writes have no time limit.
    bool Bounded;
    std::chrono::steady_clock::time_point Deadline;
  };
  // Sends what the connection takes now; true when it is done with the array (or has failed).
  bool SendNow(TPending& APending);
  void Drop(TPending& APending);
  // Waits until a pending connection can take more or the nearest deadline comes.
  void WaitForRoom();

  const uint8_t* FData;
  int FLength;
  std::chrono::steady_clock::time_point FStart;
  std::vector<TPending> FPending;
};
