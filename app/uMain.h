#pragma once

#include <QWidget>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ErrorDisplay.h"
#include "GLibLogForwarding.h"
#include "LogViewAdapter.h"
#include "QtMainThreadQueue.h"
#include "SensorSocketPath.h"
#include "uWSS.h"

class QCloseEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TLogView;

struct TNqOptions {
  // The bridge's own port box, read once when the bridge starts the server.
  std::u16string InitialPort = u"9090";
  // The window's port box, read by "Change".
  std::u16string PortBox = u"9090";
  // Where the server listens (the bridge's ListenOn); empty: every interface.
  std::vector<TListenAddress> Listen = {};
  // The simulated sensor's control socket; empty for none.
  std::string SensorSocketPath = DefaultSensorSocketPath();
  // When set, every log line is also written here (headless: standard output).
  std::FILE* LogTee = nullptr;
  // Makes the engine; unset: the simulated sensor with the control socket above.
  std::function<std::unique_ptr<TNqFPEngX>()> CreateEngine = nullptr;
};

// The main window: the bridge's log, the port with the "Change" button and the client count.
// It holds no protocol logic; it creates the bridge, lends it the log view and the count label,
// forwards "Change" to it and closes it when the window closes. Main thread only.
class TNq final : public QWidget {
  Q_OBJECT

 public:
  TNq(TQtMainThreadQueue& AQueue, IErrorDisplay& AErrors, TNqOptions AOptions = {});
  ~TNq() override;

  void btStartClick();
  // The bridge; null when it could not be created.
  TWebSocketServerForm* Bridge() const { return wss.get(); }
  // Why the bridge could not be created or could not start its server; null when it runs.
  std::exception_ptr StartUpError() const { return FStartUpError; }

  // The controls, named as their objectName.
  TLogView* logLines;
  QFrame* Panel2;
  QLabel* lbPort;
  QLineEdit* edPort;
  QPushButton* btStart;
  QLabel* clients_connected;
  QLabel* Label2;

 protected:
  void closeEvent(QCloseEvent* AEvent) override;

 private:
  void CreateControls();
  void FormCreate();
  void FormClose();
  std::unique_ptr<TNqFPEngX> CreateEngine();
  void DetachBridge();

  TQtMainThreadQueue& FQueue;
  IErrorDisplay& FErrors;
  const TNqOptions FOptions;
  std::unique_ptr<TLogViewAdapter> FLogView;
  std::unique_ptr<TLabelCountView> FCountView;
  bool FClosed = false;
  std::exception_ptr FStartUpError;
  // Declared after the views it is lent, so that it goes first.
  std::unique_ptr<TWebSocketServerForm> wss;
  // libfprint's warnings as lines of the bridge's log; ends before the bridge does.
  std::unique_ptr<TGLibLogForwarding> FGLibLog;
};
