#include "HeadlessMode.h"

#include <QGuiApplication>
#include <QString>
#include <QtGlobal>

#include "IdException.h"

namespace {

QtMessageHandler GPreviousHandler = nullptr;

void SkipRuntimeDirectoryNotice(QtMsgType AType, const QMessageLogContext& AContext,
                                const QString& AMessage) {
  if (AMessage.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  GPreviousHandler(AType, AContext, AMessage);
}

// Socket error texts hold a line break between the number and the words.
std::string OneLine(std::string AText) {
  for (size_t at = AText.find_first_of("\r\n"); at != std::string::npos;
       at = AText.find_first_of("\r\n", at)) {
    const size_t end = AText.find_first_not_of("\r\n", at);
    AText.replace(at, (end == std::string::npos ? AText.size() : end) - at, " ");
    ++at;
  }
  return AText;
}

}  // namespace

void UseOffscreenWithoutDisplay() {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

TSkipRuntimeDirectoryNotice::TSkipRuntimeDirectoryNotice() {
  GPreviousHandler = qInstallMessageHandler(SkipRuntimeDirectoryNotice);
}

TSkipRuntimeDirectoryNotice::~TSkipRuntimeDirectoryNotice() {
  qInstallMessageHandler(GPreviousHandler);
}

bool RunsHeadless() {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

std::string StartUpFailureLine(std::exception_ptr AError, const std::string& APort) {
  try {
    std::rethrow_exception(AError);
  } catch (const EIdSocketError& e) {
    if (e.LastError() == 10048)
      return "tessiva: port " + APort + " is already in use: is another Tessiva running?";
    return "tessiva: cannot listen on port " + APort + ": " + OneLine(e.what());
  } catch (const std::exception& e) {
    return "tessiva: cannot start: " + OneLine(e.what());
  } catch (...) {
    return "tessiva: cannot start";
  }
}
