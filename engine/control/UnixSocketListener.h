#pragma once

#include <sys/types.h>

#include <string>

#include "UniqueFd.h"

// A listening Unix domain stream socket that owns its file: the parent directory is created
// (mode 0700) when missing, a stale socket file left by a dead process is replaced, and the
// file is removed again on destruction unless something else has replaced it meanwhile.
// Raises EOleException when the path is in use by a live listener, is not a socket, or lies in
// a directory others could tamper with.
class TUnixSocketListener {
 public:
  explicit TUnixSocketListener(std::string APath);
  ~TUnixSocketListener();
  TUnixSocketListener(const TUnixSocketListener&) = delete;
  TUnixSocketListener& operator=(const TUnixSocketListener&) = delete;

  int Fd() const { return FSocket.Get(); }

 private:
  std::string FPath;
  TUniqueFd FSocket;
  dev_t FDevice = 0;
  ino_t FInode = 0;
};
