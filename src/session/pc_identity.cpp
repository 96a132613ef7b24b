#include "session/pc_identity.h"

#include "session/sync_session.h"
#include "support/settings_file.h"
#include "support/trace_log.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

bool InitPCID() {
    LogTrace("+++++ InitPCID()\n");
    memset(g_session.PCID, 0, sizeof g_session.PCID);
    SettingsFile settings;
    if (!settings.ReadPCID(g_session.PCID)) {
        NewPCID();
        settings.WritePCID(g_session.PCID);
    }
    return true;
}

void NewPCID() {
    // The same line serves the renewal of a pairing, where an identity was
    // read but is no longer good.
    LogTrace("+++++ Could not read PCID from the registry.  Creating a new one.\n");
    // Seeded with whole seconds: two identities made within one second are
    // the same, which the host has always lived with.
    srand(static_cast<unsigned>(time(nullptr)));
    for (int i = 0; i < 8; ++i) {
        g_session.PCID[i] = static_cast<uint8_t>((rand() >> 1) & 0xFF);
        LogTrace("+++++ New PCID[%d] = %02x.\n", i, g_session.PCID[i]);
    }
}
