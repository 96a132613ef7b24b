// Marking a store so that its next synchronisation matches the two sides by
// content: what a restore of the handheld needs, since the records it puts
// back carry ids the state's pairs do not know.
#ifndef MORVANE_ENGINE_STORE_MARK_H
#define MORVANE_ENGINE_STORE_MARK_H

#include <string>

namespace morvane_engine {

// Forgets every pair of the store's state and asks for a full read of every
// database next time, as for a store that was never synchronised; the
// pairing (device, collections) is kept.  A store without a state needs
// nothing.  Takes the store's lock; false with the reason in *error (another
// sync holds the store, the state cannot be opened or written).
bool MarkStoreForSlowSync(const std::string& store, std::string* error);

}  // namespace morvane_engine

#endif
