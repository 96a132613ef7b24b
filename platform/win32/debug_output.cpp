// Whether the debugger output has a reader, on Windows.  A debugger shows
// in IsDebuggerPresent, but a viewer reading the system's debug-output
// buffer does not, and finding it would cost more than the text it saves:
// assume one is there.
#include "platform/debug_output.h"

BOOL PlatformDebugOutputHasReader(void) { return TRUE; }
