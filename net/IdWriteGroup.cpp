#include "IdWriteGroup.h"

#include <algorithm>

#include "IdDeadline.h"
#include "IdException.h"
#include "IdIOHandlerStack.h"

TIdWriteGroup::TIdWriteGroup(const uint8_t* AData, int ALength)
    : FData(AData), FLength(ALength), FStart(std::chrono::steady_clock::now()) {}

TIdWriteGroup::~TIdWriteGroup() {
  for (TPending& pending : FPending) Drop(pending);
}

void TIdWriteGroup::Add(TIdIOHandler& AHandler) {
  TPending pending{&AHandler, AHandler.LockWrites(), 0, false, {}};
  if (SendNow(pending)) {
    AHandler.BehindSince.reset();
    return;
  }
  // The bound counts from when the connection first fell behind: one that took the previous
  // array only at the last moment has no time left now.
  if (!AHandler.BehindSince) AHandler.BehindSince = FStart;
  const int timeout = AHandler.WriteTimeout;
  pending.Bounded = timeout >= 0;
  pending.Deadline = *AHandler.BehindSince + std::chrono::milliseconds(std::max(timeout, 0));
  FPending.push_back(std::move(pending));
}

void TIdWriteGroup::Finish() {
  while (!FPending.empty()) {
    WaitForRoom();
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(FPending, [&](TPending& APending) {
      if (SendNow(APending)) return true;
      if (!APending.Bounded || now < APending.Deadline) return false;
      Drop(APending);
      return true;
    });
  }
}

bool TIdWriteGroup::SendNow(TPending& APending) {
  try {
    while (APending.Position < FLength) {
      const int sent =
          APending.Handler->WriteNow(FData + APending.Position, FLength - APending.Position);
      if (sent == 0) return false;
      APending.Position += sent;
    }
  } catch (const EIdException&) {
    // A broken connection: its own thread notices it.
  }
  return true;
}

void TIdWriteGroup::Drop(TPending& APending) {
  APending.Handler->Close();
}

void TIdWriteGroup::WaitForRoom() {
  // A socket reports room only once a third of its send buffer is free, while a peer that reads
  // slowly frees it a few hundred bytes at a time: look again at short intervals, or such a peer
  // would take its frame only at its deadline.
  constexpr int kLookAgainMSec = 20;
  int wait = kLookAgainMSec;
  std::vector<TIdSocketHandle*> sockets;
  for (const TPending& pending : FPending) {
    if (pending.Bounded) wait = std::min(wait, MillisecondsUntil(pending.Deadline));
    auto* socket = dynamic_cast<TIdIOHandlerSocket*>(pending.Handler);
    // A transport that is not a socket takes what it can on every send: no wait for it.
    if (!socket || !socket->Binding()) return;
    sockets.push_back(socket->Binding());
  }
  TIdSocketHandle::WaitForRoom(sockets, wait);
}
