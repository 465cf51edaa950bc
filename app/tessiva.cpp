#include <QApplication>
#include <csignal>
#include <cstdio>
#include <memory>

#include "ErrorDisplay.h"
#include "GLibDefaultContext.h"
#include "HeadlessMode.h"
#include "QtMainThreadQueue.h"
#include "ShutdownSignals.h"
#include "uMain.h"

int main(int argc, char* argv[]) {
  // A closed standard output (say, piped into a pager that quit) must not end the bridge.
  std::signal(SIGPIPE, SIG_IGN);
  UseOffscreenWithoutDisplay();
  LeaveGLibDefaultContextToReaders();
  QApplication app(argc, argv);
  // Installed first: a signal during start-up is then handled as soon as the loop runs.
  TShutdownSignals shutdownSignals;

  const bool headless = RunsHeadless();
  std::unique_ptr<IErrorDisplay> errors;
  if (headless)
    errors = std::make_unique<TStderrErrorDisplay>();
  else
    errors = std::make_unique<TMessageBoxErrorDisplay>();
  TQtMainThreadQueue queue(*errors);

  TNqOptions options;
  if (headless) options.LogTee = stdout;
  // Creating the window starts the server, before the window is shown.
  TNq window(queue, *errors, options);
  QObject::connect(&shutdownSignals, &TShutdownSignals::Requested, &window, &QWidget::close);
  window.show();
  return app.exec();
}
