#pragma once

// Before the QApplication exists: without DISPLAY and WAYLAND_DISPLAY, and unless the user chose a
// platform in QT_QPA_PLATFORM, makes Qt use its offscreen platform so the bridge still runs.
void UseOffscreenWithoutDisplay();

// After the QApplication exists: true when nobody can see the window (offscreen or minimal
// platform); errors then go to standard error and log lines to standard output as well.
bool RunsHeadless();
