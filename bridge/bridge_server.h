// The serving end of the bridge protocol (bridge/PROTOCOL.md): the adapter
// loaded into this process behind the in-process device session, and one
// client's requests read from standard input and answered on the stream
// given.  Every request is answered, whatever it holds: malformed JSON, an
// unknown operation, one out of order or records the database cannot take
// get an answer that says what was wrong, and serving goes on.
#ifndef MORVANE_BRIDGE_BRIDGE_SERVER_H
#define MORVANE_BRIDGE_BRIDGE_SERVER_H

#include <stdio.h>

#include <string>

namespace morvane_host {

struct BridgeOptions {
    std::string adapterPath;  // the adapter library to load
    // A test aid, from $MORVANE_BRIDGE_FAULT: "<operation>:die" ends the
    // bridge at once (exit status 3), "<operation>:hang" makes it stop
    // answering for good, each after a line on standard error, when it
    // serves that operation (in an export, after its first record).
    std::string fault;
};

// Loads the adapter, then serves until the end of the input, a "stop"
// request or the client going away (a write to out fails).  Returns the
// program's exit status: 0.
int ServeBridge(const BridgeOptions& options, FILE* out);

}  // namespace morvane_host

#endif
