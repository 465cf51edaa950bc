#pragma once

// Before the QApplication exists: keeps Qt off GLib's default main context (Qt then uses its own
// event dispatcher). The fingerprint readers' thread owns that context for libfprint, and two
// threads driving it would each wait for the other to let go of it. On desktops where Qt would
// load its GTK theme (which attaches GDK to that context), Qt's own GNOME theme is chosen instead,
// unless the user chose a theme.
void LeaveGLibDefaultContextToReaders();
