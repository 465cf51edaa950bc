#pragma once

#include <exception>
#include <string>

// Before the QApplication exists: without DISPLAY and WAYLAND_DISPLAY, and unless the user chose a
// platform in QT_QPA_PLATFORM, makes Qt use its offscreen platform so the bridge still runs.
void UseOffscreenWithoutDisplay();

// While it exists, Qt's notice that XDG_RUNTIME_DIR is not set (usual for a service or a plain
// root shell, and harmless: Qt falls back to a directory of its own) is not printed. Every other
// message passes.
class TSkipRuntimeDirectoryNotice {
 public:
  TSkipRuntimeDirectoryNotice();
  ~TSkipRuntimeDirectoryNotice();
  TSkipRuntimeDirectoryNotice(const TSkipRuntimeDirectoryNotice&) = delete;
  TSkipRuntimeDirectoryNotice& operator=(const TSkipRuntimeDirectoryNotice&) = delete;
};

// After the QApplication exists: true when nobody can see the window (offscreen or minimal
// platform); errors then go to standard error and log lines to standard output as well.
bool RunsHeadless();

// One line for standard error on why a start-up without a window failed; APort is the port the
// bridge tried.
std::string StartUpFailureLine(std::exception_ptr AError, const std::string& APort);
