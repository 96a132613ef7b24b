// morvane-bridge: hosts the adapter in a process of its own and serves one
// client over its standard input and output (bridge/PROTOCOL.md).  Built
// for Linux (loading libmorvane.so) and for Windows (loading Morvane.dll,
// which imports whichever TETHRA.dll stands beside it), so that a host that
// cannot load the adapter itself, a 64-bit program or one on another
// system, still drives it: morvane-sync --bridge COMMAND.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>

#include "bridge/bridge_server.h"
#include "platform/host_services.h"

namespace {

const char kUsage[] =
    "usage: morvane-bridge [--adapter LIBRARY]\n"
    "\n"
    "Hosts the Morvane adapter and serves one client over standard input and\n"
    "output, one JSON object a line (see bridge/PROTOCOL.md).  The adapter is\n"
    "LIBRARY, else $MORVANE_LIBRARY, else " MORVANE_BRIDGE_ADAPTER_FILE " beside this program.\n"
    "Ends at the end of its input, on a \"stop\" request or when its client\n"
    "goes away.  MORVANE_BRIDGE_FAULT=<operation>:die|hang is a test aid that\n"
    "makes it end or stop answering while it serves that operation.\n";

// The adapter beside this program, when its folder is known; a bare name
// otherwise, which the system's library search finds beside it on Windows.
std::string DefaultAdapterPath(const char* argv0) {
    const char* chosen = getenv("MORVANE_LIBRARY");
    if (chosen != nullptr && *chosen != '\0') return chosen;
    std::error_code failed;
    if (argv0 != nullptr && strpbrk(argv0, "/\\") != nullptr) {
        const std::filesystem::path program = std::filesystem::absolute(argv0, failed);
        if (!failed) return (program.parent_path() / MORVANE_BRIDGE_ADAPTER_FILE).string();
    }
    return MORVANE_BRIDGE_ADAPTER_FILE;
}

}  // namespace

int main(int argc, char** argv) {
    morvane_host::BridgeOptions options;
    options.adapterPath = DefaultAdapterPath(argc > 0 ? argv[0] : nullptr);
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--adapter") == 0 && i + 1 < argc) {
            options.adapterPath = argv[++i];
        } else {
            fputs(kUsage, strcmp(argv[i], "--help") == 0 ? stdout : stderr);
            return strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    const char* fault = getenv("MORVANE_BRIDGE_FAULT");
    if (fault != nullptr) options.fault = fault;
    // The adapter's export of a first sync fills this process's heap as it
    // fills the host's.
    PlatformKeepHeapInLargePages();
    FILE* out = PlatformTakeStandardStreams();
    if (out == nullptr) {
        fputs("morvane-bridge: cannot take over the standard streams\n", stderr);
        return 1;
    }
    const int status = morvane_host::ServeBridge(options, out);
    fclose(out);
    return status;
}
