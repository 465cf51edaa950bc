// Linked into every test that runs libfprint.

// libfprint, GLib and libusb are not instrumented: they hand memory between their own threads
// (GLib's worker pool, libusb's event thread) under GLib's futex-based locks, which
// ThreadSanitizer cannot see. What they allocate and copy there is theirs, not ours.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfprint-2.so.2\n"
         "race:libglib-2.0.so.0\n"
         "race:libgobject-2.0.so.0\n"
         "race:libusb-1.0.so.0\n"
         "race:libgusb.so.2\n";
}
