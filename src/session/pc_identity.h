/*
 * This PC's identity towards the device: 8 bytes kept in the host's
 * settings file under "PCID", loaded at every start-up into the session.
 */
#ifndef MORVANE_SESSION_PC_IDENTITY_H
#define MORVANE_SESSION_PC_IDENTITY_H

// Loads the identity from the settings file; when the file holds no usable
// one (missing, malformed or all zero), makes a new one and stores it.
// Always true.
bool InitPCID();

// Fills the session's identity with new pseudo-random bytes, seeded with
// the current time in seconds.
void NewPCID();

#endif
