#include <QApplication>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string_view>

#include "ErrorDisplay.h"
#include "GLibDefaultContext.h"
#include "HeadlessMode.h"
#include "IdDescriptorLimit.h"
#include "QtMainThreadQueue.h"
#include "ShutdownSignals.h"
#include "Utf8Text.h"
#include "uMain.h"

namespace {
constexpr const char* kHelp =
    "usage: tessiva [--help | --version]\n"
    "Serves the fingerprint sensor to web pages: WebSocket on port 9090, every interface.\n"
    "Without a display it runs offscreen and writes its log to standard output.\n"
    "Stop it by closing the window, or with Ctrl+C or SIGTERM.\n";
}  // namespace

int main(int argc, char* argv[]) {
  // Answered before Qt starts; Qt's own options (-platform ...) still pass through.
  if (argc > 1 && std::string_view(argv[1]) == "--version")
    return std::puts("tessiva " TESSIVA_VERSION) < 0;
  if (argc > 1 && std::string_view(argv[1]) == "--help") return std::fputs(kHelp, stdout) < 0;
  // A closed standard output (say, piped into a pager that quit) must not end the bridge.
  std::signal(SIGPIPE, SIG_IGN);
  GRaiseDescriptorLimit();
  UseOffscreenWithoutDisplay();
  LeaveGLibDefaultContextToReaders();
  const TSkipRuntimeDirectoryNotice quietRuntimeDirectory;
  QApplication app(argc, argv);
  // Installed first: a signal during start-up is then handled as soon as the loop runs.
  TShutdownSignals shutdownSignals;

  const bool headless = RunsHeadless();
  TMessageBoxErrorDisplay messageBox;
  TStderrErrorDisplay standardError;
  // Without a window nobody sees an error box: a start-up that fails must end the program with
  // one line saying why, not leave a bridge running that nobody can reach.
  THeldErrorDisplay startUpErrors(standardError);
  IErrorDisplay& errors = headless ? static_cast<IErrorDisplay&>(startUpErrors) : messageBox;
  TQtMainThreadQueue queue(errors);

  TNqOptions options;
  if (headless) options.LogTee = stdout;
  // Creating the window starts the server, before the window is shown.
  TNq window(queue, errors, options);
  QObject::connect(&shutdownSignals, &TShutdownSignals::Requested, &window, &QWidget::close);
  if (headless) {
    if (window.StartUpError()) {
      std::fprintf(stderr, "%s\n",
                   StartUpFailureLine(window.StartUpError(), ToUtf8(options.InitialPort)).c_str());
      return 1;
    }
    startUpErrors.Release();
  } else {
    window.show();
  }
  return app.exec();
}
