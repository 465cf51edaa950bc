#pragma once

#include <unistd.h>

#include <utility>

// Owns one file descriptor and closes it when it goes out of scope.
class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int AFd) : FFd(AFd) {}
  TUniqueFd(TUniqueFd&& AOther) noexcept : FFd(std::exchange(AOther.FFd, -1)) {}
  TUniqueFd& operator=(TUniqueFd&& AOther) noexcept {
    if (this != &AOther) Reset(std::exchange(AOther.FFd, -1));
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  ~TUniqueFd() { Reset(); }

  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  void Reset(int AFd = -1) {
    if (FFd >= 0) ::close(FFd);
    FFd = AFd;
  }

 private:
  int FFd = -1;
};
