#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "GreyImage.h"

class EVirtualImageDevice : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where `make run SENSOR=virtual` puts libfprint's virtual image reader, next to the simulated
// sensor's control socket; FP_VIRTUAL_IMAGE, when set, names it instead.
std::string DefaultVirtualImageSocketPath();

// A client of libfprint's virtual image reader, which exists in a process whose
// FP_VIRTUAL_IMAGE names a socket path and listens there while it is open. Each call is one
// connection carrying native-endian 32-bit pairs: (width, height) and the pixels is a press.
// Raises EVirtualImageDevice when nothing listens within the connect timeout.
class TVirtualImageDevice {
 public:
  explicit TVirtualImageDevice(std::string ASocketPath,
                               std::chrono::milliseconds AConnectTimeout = std::chrono::seconds(2));

  // One press: finger on, the image (8-bit grey, ridges dark), finger off.
  void Press(const TGreyImage& AImage);
  // A finger lies on the reader or has left it; the reader waits for the image in between.
  void SetFinger(bool APresent);
  // The reader answers its capture with libfprint's retry code ACode (0 general, 1 too short).
  void Retry(int32_t ACode);
  // The reader reports itself unplugged.
  void Unplug();
  // The reader ends its capture with libfprint's device error ACode (FpDeviceError).
  void Fail(int32_t ACode);

  const std::string& SocketPath() const { return FSocketPath; }

 private:
  void Send(int32_t AFirst, int32_t ASecond, std::span<const uint8_t> APayload = {});

  std::string FSocketPath;
  std::chrono::milliseconds FConnectTimeout;
};
