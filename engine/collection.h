// A collection of PC items, one file an item: a vdir (contacts, calendar,
// tasks, memos) or a set of Maildirs (mail).  Items are named by their
// href, a name that stays the same while other programs edit, move or
// re-flag them.  Every write is atomic: it is staged, and put in place
// and flushed when the engine commits the writes TakeWrites hands it,
// before it commits the state that describes them.
#ifndef MORVANE_ENGINE_COLLECTION_H
#define MORVANE_ENGINE_COLLECTION_H

#include <stdint.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/atomic_file.h"
#include "pim/pim.h"

namespace morvane_engine {

struct CollectionEntry {
    std::string href;
    std::string path;    // where the file is now, when its name is not the href (mail); see PathOf
    int64_t size = 0;
    int64_t mtime = 0;   // nanoseconds
    uint32_t folder = 0; // mail: host folder of the Maildir it is in
    bool seen = false;   // mail: the "S" flag
};

class Collection {
public:
    virtual ~Collection() = default;
    // Creates the collection's folders (and a displayname file) if missing.
    virtual bool Create(const std::string& displayName, std::string* error) = 0;
    virtual bool Exists() const = 0;
    // Every item file, without reading them.
    virtual bool List(std::vector<CollectionEntry>* entries, std::string* error) = 0;
    virtual bool Read(const CollectionEntry& entry, morvane_pim::Item* item, std::string* error) = 0;
    // Where the entry's file is, to name it to the person running the sync.
    virtual std::string PathOf(const CollectionEntry& entry) const = 0;
    // Writes the item under href, replacing what is there (also when a
    // mail reader moved it to another folder); *written describes the file.
    virtual bool Write(const std::string& href, const morvane_pim::Item& item, CollectionEntry* written,
                       std::string* error) = 0;
    // Removes the item; an item already gone is no failure.
    virtual bool Remove(const std::string& href, std::string* error) = 0;
    // Whether the item's file is still the one of this size and time, as
    // listed: another program may have written, moved or removed it since.
    virtual bool Unchanged(const std::string& href, int64_t size, int64_t mtime) = 0;
    // A file name for a new item of this uid, not used by any item listed.
    virtual std::string NewHref(const std::string& uid) = 0;
    // The files written and the folders removed from since the last
    // take, for the caller to commit (StagedWrites::Commit) before the
    // state that describes them.
    virtual StagedWrites TakeWrites() = 0;
    virtual const std::string& root() const = 0;
};

// A vdir: items are the files ending in extension (".vcf", ".ics").
std::unique_ptr<Collection> OpenVdir(const std::string& root, const std::string& extension);
// The folders in root that are vdirs of items ending in extension (each
// holds such an item, or a vdir's "displayname" or "color" file), when
// root holds no such item itself: a folder of collections, as vdirsyncer
// and khal are given, rather than one collection.  Sorted.
std::vector<std::string> CollectionsInside(const std::string& root, const std::string& extension);
// Four Maildirs under root, one per host folder: Inbox, Outbox, Sent, Saved.
std::unique_ptr<Collection> OpenMaildirs(const std::string& root);
// Whether folder is a Maildir itself (it holds "cur" and "new"), as a mail
// reader's mail folder is, rather than a folder to hold the four.
bool IsMaildir(const std::string& folder);

// A file name made of uid: characters other than letters, digits and
// "-_.@" become "_", and a long uid is cut with a hash of the whole.
std::string SafeFileName(const std::string& uid);

}  // namespace morvane_engine

#endif
