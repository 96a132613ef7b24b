/*
 * CMorvaneApp: the application object, constructed when the library is
 * loaded (before the device link object) and destroyed when it is unloaded.
 * Its constructor reads the trace switch, writes "***** CMorvaneApp" and
 * gives the session its load-time values.
 */
#ifndef MORVANE_APP_MORVANE_APP_H
#define MORVANE_APP_MORVANE_APP_H

#include <stdint.h>

class FirstSyncBatch;

class CMorvaneApp {
public:
    CMorvaneApp();
    ~CMorvaneApp();
    CMorvaneApp(const CMorvaneApp&) = delete;
    CMorvaneApp& operator=(const CMorvaneApp&) = delete;

    // The records of a first synchronisation queued for one bulk write;
    // created with the application object, deleted with it.  Null only
    // when there was no memory for it at load.
    FirstSyncBatch* firstSyncBatch;
};

extern CMorvaneApp theApp;

#endif
