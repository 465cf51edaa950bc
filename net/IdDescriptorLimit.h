#pragma once

// Raises the process's soft limit on open descriptors to its hard limit. Every client holds one
// descriptor for as long as it is connected; at the usual soft limit of 1024, a thousand idle
// connections would leave none for the next client. Best effort: a limit that cannot be raised
// stays as it was.
void GRaiseDescriptorLimit();
