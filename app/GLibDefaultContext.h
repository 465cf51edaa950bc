#pragma once

// Before the QApplication exists: keeps Qt off GLib's default main context (Qt then uses its own
// event dispatcher). The fingerprint readers' thread owns that context for libfprint, and two
// threads driving it would each wait for the other to let go of it.
void LeaveGLibDefaultContextToReaders();
