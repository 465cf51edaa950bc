#include "ShutdownSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <system_error>

namespace {

// The write end of the pipe, for the handler; -1 while no instance exists.
volatile std::sig_atomic_t GWakeFd = -1;

void OnShutdownSignal(int) {
  const int savedErrno = errno;
  const char byte = 1;
  // A full pipe already holds a pending request.
  [[maybe_unused]] const ssize_t written = ::write(GWakeFd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

TShutdownSignals::TShutdownSignals() {
  if (::pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe2");
  GWakeFd = FPipe[1];
  FNotifier = new QSocketNotifier(FPipe[0], QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, &TShutdownSignals::OnPipeReadable);

  struct sigaction action {};
  action.sa_handler = OnShutdownSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, &FOldInt);
  ::sigaction(SIGTERM, &action, &FOldTerm);
}

TShutdownSignals::~TShutdownSignals() {
  ::sigaction(SIGINT, &FOldInt, nullptr);
  ::sigaction(SIGTERM, &FOldTerm, nullptr);
  GWakeFd = -1;
  delete FNotifier;
  ::close(FPipe[0]);
  ::close(FPipe[1]);
}

void TShutdownSignals::OnPipeReadable() {
  char bytes[64];
  while (::read(FPipe[0], bytes, sizeof bytes) > 0) {
  }
  emit Requested();
}
