#include "exports/morvane_api.h"

#include "support/install_path.h"

// C++ linkage, as the host finds it under its decorated name.  buffer must
// hold 260 bytes.  1 when the data-file folder was read, else 0.
int32_t GetInstallPath(char* buffer) { return ReadInstallPath(buffer); }
