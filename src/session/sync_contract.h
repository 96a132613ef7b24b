/*
 * The sync contract: whether the device is still paired with this PC, and
 * the renewal of the pairing when it is not.
 */
#ifndef MORVANE_SESSION_SYNC_CONTRACT_H
#define MORVANE_SESSION_SYNC_CONTRACT_H

// Compares the device's partner and last sync time with this PC's, renews
// the pairing when they differ (asking the user first when the device names
// another PC), and stamps a new sync time on both sides.  On false the last
// error is set; a revoked contract or a stored new identity is not undone.
bool CheckSyncContract();

#endif
