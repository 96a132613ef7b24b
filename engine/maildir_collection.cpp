// Mail as four Maildirs under one folder, one per host folder of the
// handheld: Inbox (received), Outbox, Sent and Saved.  A message is named
// by the unique part of its file name, so that a mail reader moving it
// from new/ to cur/, between folders, or changing its flags (":2,FRS")
// leaves the same item; the "S" flag is the message's read state.
#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <utility>

#include "engine/atomic_file.h"
#include "engine/collection.h"
#include "records/field_map.h"

namespace morvane_engine {

namespace {

// Host folder n is kFolders[n - 1].
static const char* const kFolders[] = {
    // 0
    "Inbox", "Outbox", "Sent", "Saved",
};
constexpr uint32_t kFolderCount = sizeof kFolders / sizeof kFolders[0];

struct MessageName {
    std::string unique;
    std::string flags;  // the letters after ":2,"
};

MessageName SplitName(const std::string& name) {
    MessageName out;
    const size_t colon = name.find(':');
    out.unique = name.substr(0, colon);
    if (colon != std::string::npos && name.compare(colon, 3, ":2,") == 0) out.flags = name.substr(colon + 3);
    return out;
}

std::string WithSeen(const std::string& flags, bool seen) {
    std::string out;
    for (char c : flags)
        if (c != 'S') out += c;
    if (seen) out += 'S';
    std::sort(out.begin(), out.end());  // Maildir flags are kept in ASCII order
    return out;
}

class MaildirCollection : public Collection {
public:
    explicit MaildirCollection(const std::string& root) : root_(root) {}

    bool Create(const std::string& displayName, std::string* error) override {
        const bool made = !IsFolder(root_);  // only a collection made here is named
        std::error_code failed;
        for (const char* folder : kFolders)
            for (const char* part : {"cur", "new", "tmp"})
                std::filesystem::create_directories(root_ + "/" + folder + "/" + part, failed);
        if (failed) {
            *error = "cannot create " + root_ + ": " + failed.message();
            return false;
        }
        for (const char* folder : kFolders) RemoveLeftovers(root_ + "/" + folder + "/tmp");
        return !made || NameCollection(root_, displayName, error);
    }

    bool Exists() const override { return IsFolder(root_); }

    bool List(std::vector<CollectionEntry>* entries, std::string* error) override {
        entries->clear();
        where_.clear();
        for (uint32_t f = 0; f < kFolderCount; ++f)
            for (const char* part : {"new", "cur"})
                if (!ListFolder(f + 1, root_ + "/" + kFolders[f] + "/" + part, entries, error)) return false;
        return true;
    }

    bool Read(const CollectionEntry& entry, morvane_pim::Item* item, std::string* error) override {
        *item = morvane_pim::Item();
        item->folder = entry.folder;
        item->seen = entry.seen;
        return ReadWholeFile(entry.path, &item->text, error);
    }

    std::string PathOf(const CollectionEntry& entry) const override { return entry.path; }

    bool Write(const std::string& href, const morvane_pim::Item& item, CollectionEntry* written,
               std::string* error) override {
        const uint32_t folder = item.folder >= 1 && item.folder <= kFolderCount ? item.folder : 1;
        const std::string box = root_ + "/" + kFolders[folder - 1];
        auto old = where_.find(href);
        const std::string flags = WithSeen(old != where_.end() ? SplitName(Base(old->second)).flags : "", item.seen);
        const std::string path = box + "/cur/" + href + ":2," + flags;
        *written = CollectionEntry();
        const std::string replaced = old != where_.end() ? old->second : "";
        if (!staged_.Stage(path, item.text, box + "/tmp", replaced, &written->size, &written->mtime, error))
            return false;
        // A message moved to another folder or flag leaves its old file
        // once the new one is in place.
        if (old != where_.end() && old->second != path) staged_.RemoveAfter(old->second);
        where_[href] = path;
        written->href = href;
        written->path = path;
        written->folder = folder;
        written->seen = item.seen;
        return true;
    }

    // A message a mail reader moved or re-flagged since the listing is no
    // longer where the listing found it.
    bool Unchanged(const std::string& href, int64_t size, int64_t mtime) override {
        auto at = where_.find(href);
        int64_t nowSize = 0, nowMtime = 0;
        return at != where_.end() && FileStamp(at->second, &nowSize, &nowMtime) && nowSize == size &&
               nowMtime == mtime;
    }

    bool Remove(const std::string& href, std::string* error) override {
        auto old = where_.find(href);
        if (old == where_.end()) return true;
        if (unlink(old->second.c_str()) != 0 && errno != ENOENT) {
            *error = "cannot remove " + old->second + ": " + strerror(errno);
            return false;
        }
        staged_.Touch(old->second.substr(0, old->second.rfind('/')));
        where_.erase(old);
        return true;
    }

    std::string NewHref(const std::string& uid) override {
        const std::string base = SafeFileName(uid);
        std::string href = base;
        for (int n = 2; where_.count(href) != 0 || taken_.count(href) != 0; ++n) href = base + "-" + std::to_string(n);
        taken_.insert(href);
        return href;
    }

    StagedWrites TakeWrites() override { return std::move(staged_); }

    const std::string& root() const override { return root_; }

private:
    static std::string Base(const std::string& path) { return path.substr(path.rfind('/') + 1); }

    bool ListFolder(uint32_t folder, const std::string& path, std::vector<CollectionEntry>* entries,
                    std::string* error) {
        DIR* dir = opendir(path.c_str());
        if (dir == nullptr) {
            if (errno == ENOENT) return true;
            *error = "cannot list " + path + ": " + strerror(errno);
            return false;
        }
        const bool inNew = Base(path) == "new";
        while (const dirent* found = readdir(dir)) {
            const std::string name = found->d_name;
            if (name.empty() || name[0] == '.') continue;
            CollectionEntry entry;
            const MessageName parts = SplitName(name);
            entry.href = parts.unique;
            entry.path = path + "/" + name;
            entry.folder = folder;
            entry.seen = !inNew && parts.flags.find('S') != std::string::npos;
            struct stat info;
            if (stat(entry.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
            // The same message twice (a copy left by a crashed mail reader):
            // the first one found stands.
            if (where_.count(entry.href) != 0) continue;
            StampOf(info, &entry.size, &entry.mtime);
            where_[entry.href] = entry.path;
            entries->push_back(entry);
        }
        closedir(dir);
        return true;
    }

    std::string root_;
    std::map<std::string, std::string> where_;  // href -> current path
    std::set<std::string> taken_;
    StagedWrites staged_;
};

}  // namespace

std::unique_ptr<Collection> OpenMaildirs(const std::string& root) { return std::make_unique<MaildirCollection>(root); }

bool IsMaildir(const std::string& folder) { return IsFolder(folder + "/cur") && IsFolder(folder + "/new"); }

}  // namespace morvane_engine
