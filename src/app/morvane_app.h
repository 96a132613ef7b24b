/*
 * CMorvaneApp: the application object, constructed when the library is
 * loaded (before the device link object) and destroyed when it is unloaded.
 * Its constructor reads the trace switch, writes "***** CMorvaneApp",
 * gives the session its load-time values and creates the first-sync batch,
 * which its destructor deletes.
 */
#ifndef MORVANE_APP_MORVANE_APP_H
#define MORVANE_APP_MORVANE_APP_H

class CMorvaneApp {
public:
    CMorvaneApp();
    ~CMorvaneApp();
    CMorvaneApp(const CMorvaneApp&) = delete;
    CMorvaneApp& operator=(const CMorvaneApp&) = delete;
};

extern CMorvaneApp theApp;

#endif
