/*
 * The session's private heap.
 *
 * The device's database list, the open database's link field information,
 * its changed-record lists and the record cache entries live in one
 * growable heap, g_session.hHeap, created at start-up and destroyed as a
 * whole when the link is closed; nothing in it is ever freed on its own.
 * g_session.heapRef counts the start-ups holding it.
 */
#ifndef MORVANE_SESSION_PRIVATE_HEAP_H
#define MORVANE_SESSION_PRIVATE_HEAP_H

// Makes sure the heap exists and takes one reference.  Returns false (and
// leaves heapRef 0) when the heap cannot be created.
bool InitHeap();

// Drops one reference, or every reference when force is true, and
// destroys the heap when none is left; the session then forgets what lived
// there (database list, link field list, record cache).  Cannot fail.
void ReleaseHeap(bool force);

#endif
