#pragma once

#include <stdexcept>
#include <string>

// The connection server's exception family. Messages are UTF-8.

class EIdException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Marks exceptions that are part of normal control flow; never reported.
class EIdSilentException : public EIdException {
 public:
  using EIdException::EIdException;
};

// Silent abort of an operation (for example a listener that was stopped while accepting).
class EAbort : public std::runtime_error {
 public:
  EAbort() : std::runtime_error("Operation aborted") {}
};

class EIdConnClosedGracefully : public EIdSilentException {
 public:
  EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
};

class EIdSocketError : public EIdException {
 public:
  explicit EIdSocketError(int AErrorNumber);
  int LastError() const { return FLastError; }

 private:
  int FLastError;
};

// Raised instead of EIdSocketError for error number 10038.
class EIdNotASocket : public EIdSocketError {
 public:
  using EIdSocketError::EIdSocketError;
};

class EIdReadTimeout : public EIdException {
 public:
  EIdReadTimeout() : EIdException("Read timed out.") {}
};

class EIdNotConnected : public EIdException {
 public:
  EIdNotConnected() : EIdException("Not Connected") {}
};

class EIdClosedSocket : public EIdException {
 public:
  EIdClosedSocket() : EIdException("Disconnected.") {}
};

class EIdTooMuchDataInBuffer : public EIdException {
 public:
  EIdTooMuchDataInBuffer() : EIdException("Too much data in buffer.") {}
};

// Socket error numbers use the Windows Sockets numbering, so that the texts and the behaviour
// keyed to 10038, 10048, 10053, 10054 and 10058 keep their meaning on every platform.
constexpr int Id_WSAETIMEDOUT = 10060;

// The text of a socket error number; empty for an unlisted number.
const char* SocketErrorText(int AErrorNumber);
// Maps a Linux errno value onto the Windows Sockets number; unmapped values pass unchanged.
int SocketErrorFromErrno(int AErrno);
// Throws EIdSocketError (EIdNotASocket for 10038) for a Windows Sockets error number.
[[noreturn]] void RaiseSocketError(int AErrorNumber);
// Throws for the current errno.
[[noreturn]] void RaiseLastSocketError();
