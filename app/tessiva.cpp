#include <QApplication>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "ErrorDisplay.h"
#include "GLibDefaultContext.h"
#include "HeadlessMode.h"
#include "IdDescriptorLimit.h"
#include "IntegerText.h"
#include "QtMainThreadQueue.h"
#include "ShutdownSignals.h"
#include "StartOptions.h"
#include "Utf8Text.h"
#include "uMain.h"

namespace {
constexpr const char* kHelp =
    "usage: tessiva [--port N] [--listen ADDRESS]... [Qt options]\n"
    "       tessiva -h | --help | --version\n"
    "Serves a fingerprint sensor to web pages over WebSocket: a USB reader through libfprint\n"
    "(or libfprint's virtual image reader when FP_VIRTUAL_IMAGE names a socket), else the\n"
    "simulated sensor, which tessiva-sensor presses.\n"
    "  --port N          the port (default 9090; as the window's port box takes it)\n"
    "  --listen ADDRESS  listen on this IPv4 or IPv6 address only, such as 127.0.0.1 or ::1;\n"
    "                    repeat it for more (default: every interface). \"Change\" in the window\n"
    "                    moves these addresses to its port; without --listen, to 127.0.0.1.\n"
    "Without a display it runs offscreen and writes its log to standard output.\n"
    "Stop it by closing the window, or with Ctrl+C or SIGTERM.\n"
    "Exit status: 0 when stopped, 1 when it cannot start (port in use), 2 for bad options.\n";

constexpr int kUsageError = 2;

int UsageError(const std::string& AWhy) {
  std::fprintf(stderr, "tessiva: %s\nTry 'tessiva --help'.\n", AWhy.c_str());
  return kUsageError;
}
}  // namespace

int main(int argc, char* argv[]) {
  // Answered before Qt starts.
  TStartOptions startOptions;
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    startOptions = ParseStartOptions(args);
  } catch (const EStartOptions& e) {
    return UsageError(e.what());
  }
  if (startOptions.Help) return std::fputs(kHelp, stdout) < 0;
  if (startOptions.Version) return std::puts("tessiva " TESSIVA_VERSION) < 0;
  // Qt takes its own options (-platform ...) out of these; whatever is left is unknown.
  std::vector<char*> qtArgs{argv[0]};
  for (const std::string_view arg : startOptions.LeftForQt)
    qtArgs.push_back(const_cast<char*>(arg.data()));
  int qtArgc = static_cast<int>(qtArgs.size());
  qtArgs.push_back(nullptr);
  // A closed standard output (say, piped into a pager that quit) must not end the bridge.
  std::signal(SIGPIPE, SIG_IGN);
  GRaiseDescriptorLimit();
  UseOffscreenWithoutDisplay();
  LeaveGLibDefaultContextToReaders();
  const TSkipRuntimeDirectoryNotice quietRuntimeDirectory;
  QApplication app(qtArgc, qtArgs.data());
  if (qtArgc > 1) return UsageError("unknown option or argument '" + std::string(qtArgs[1]) + "'");
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
  options.InitialPort = options.PortBox = IntToStr(startOptions.Port);
  options.Listen = startOptions.Listen;
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
