#include "platform/win32api.h"

// The library's entry point on Windows.  Everything a load sets up is done
// by the static objects of morvane_app.cpp (the session's load values, the
// application object, the device link object), which the C++ runtime
// constructs before this function is called and destroys after the last
// call; there is nothing left to do here for any reason of the call.
// Elsewhere the loader calls no such function and this one stays unused.
extern "C" BOOL WINAPI DllMain(HANDLE module, DWORD reason, LPVOID reserved) {
    (void)module;
    (void)reason;
    (void)reserved;
    return TRUE;
}
