#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into the Requested signal on the main thread. The handler only writes
// a byte to a pipe; a socket notifier on the other end wakes the event loop. One instance at a
// time; the previous handlers come back when it is destroyed.
class TShutdownSignals final : public QObject {
  Q_OBJECT

 public:
  TShutdownSignals();
  ~TShutdownSignals() override;
  TShutdownSignals(const TShutdownSignals&) = delete;
  TShutdownSignals& operator=(const TShutdownSignals&) = delete;

 signals:
  void Requested();

 private:
  void OnPipeReadable();

  int FPipe[2] = {-1, -1};
  QSocketNotifier* FNotifier = nullptr;  // child of this object
  struct sigaction FOldInt {};
  struct sigaction FOldTerm {};
};
