// A vdir (as vdirsyncer, khal and khard keep them): one folder, one item a
// file named <href>, items recognised by their extension; dot files,
// temporary files and files of another extension are not items.
#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <unordered_set>
#include <utility>

#include "engine/atomic_file.h"
#include "engine/collection.h"
#include "pim/content_lines.h"

namespace morvane_engine {

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether a file of this name in a vdir is one of its items.
bool IsItemName(const std::string& name, const std::string& extension) {
    return !name.empty() && name[0] != '.' && EndsWith(name, extension);
}

class VdirCollection : public Collection {
public:
    VdirCollection(const std::string& root, const std::string& extension) : root_(root), extension_(extension) {}

    bool Create(const std::string& displayName, std::string* error) override {
        // Only a collection made here is named: one another program keeps
        // (vdirsyncer's, khal's) has its name from there, or none.
        const bool made = !IsFolder(root_);
        std::error_code failed;
        std::filesystem::create_directories(root_, failed);
        if (failed) {
            *error = "cannot create " + root_ + ": " + failed.message();
            return false;
        }
        // A listing this run saw every name already; the folder is read
        // again only when there was none.
        if (!listed_) RemoveLeftovers(root_);
        for (const std::string& name : leftovers_) unlink((root_ + "/" + name).c_str());
        leftovers_.clear();
        return !made || NameCollection(root_, displayName, error);
    }

    bool Exists() const override { return IsFolder(root_); }

    bool List(std::vector<CollectionEntry>* entries, std::string* error) override {
        entries->clear();
        names_.clear();
        unindexed_.clear();
        leftovers_.clear();
        listed_ = false;
        DIR* folder = opendir(root_.c_str());
        if (folder == nullptr) {
            listed_ = errno == ENOENT;
            if (listed_) return true;
            *error = "cannot list " + root_ + ": " + strerror(errno);
            return false;
        }
        // A folder's size grows with its entries (ext4 takes 8 bytes and the
        // name's, rounded to 4, for each): room for about that many saves
        // moving every entry each time the list doubles.
        struct stat folderInfo;
        if (fstat(dirfd(folder), &folderInfo) == 0)
            entries->reserve(static_cast<size_t>(std::min<off_t>(folderInfo.st_size / 32, 1 << 20)));
        while (const dirent* found = readdir(folder)) {
            std::string name = found->d_name;
            // Every name a new item's could be (any ending in the
            // extension, a folder's too) is taken, so that a new item's
            // name is chosen without asking the file system again.
            const bool item = IsItemName(name, extension_);
            if (name.compare(0, kTemporaryPrefixLength, kTemporaryPrefix) == 0) leftovers_.push_back(name);
            struct stat info;
            if (item && fstatat(dirfd(folder), name.c_str(), &info, 0) == 0 && S_ISREG(info.st_mode)) {
                CollectionEntry entry;
                entry.href = name;
                StampOf(info, &entry.size, &entry.mtime);
                entries->push_back(std::move(entry));
            }
            if (item) unindexed_.push_back(std::move(name));
        }
        closedir(folder);
        listed_ = true;
        return true;
    }

    bool Read(const CollectionEntry& entry, morvane_pim::Item* item, std::string* error) override {
        *item = morvane_pim::Item();
        return ReadWholeFile(PathOf(entry), &item->text, error);
    }

    // An item's file is named by its href: its path is made when needed,
    // not kept for every item listed.
    std::string PathOf(const CollectionEntry& entry) const override { return root_ + "/" + entry.href; }

    bool Write(const std::string& href, const morvane_pim::Item& item, CollectionEntry* written,
               std::string* error) override {
        const std::string path = root_ + "/" + href;
        *written = CollectionEntry();
        // A name NewHref just gave has no file to keep the permissions of.
        const std::string replaced = fresh_.erase(href) != 0 ? "" : path;
        if (!staged_.Stage(path, item.text, "", replaced, &written->size, &written->mtime, error)) return false;
        unindexed_.push_back(href);
        written->href = href;
        return true;
    }

    bool Remove(const std::string& href, std::string* error) override {
        const std::string path = root_ + "/" + href;
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            *error = "cannot remove " + path + ": " + strerror(errno);
            return false;
        }
        Names().erase(href);
        staged_.Touch(root_);
        return true;
    }

    bool Unchanged(const std::string& href, int64_t size, int64_t mtime) override {
        int64_t nowSize = 0, nowMtime = 0;
        return FileStamp(root_ + "/" + href, &nowSize, &nowMtime) && nowSize == size && nowMtime == mtime;
    }

    std::string NewHref(const std::string& uid) override {
        const std::string base = SafeFileName(uid);
        std::string href = base + extension_;
        std::unordered_set<std::string>& names = Names();
        for (int n = 2; names.count(href) != 0 || (!listed_ && access((root_ + "/" + href).c_str(), F_OK) == 0); ++n)
            href = base + "-" + std::to_string(n) + extension_;
        names.insert(href);
        fresh_.insert(href);
        return href;
    }

    StagedWrites TakeWrites() override { return std::move(staged_); }

    const std::string& root() const override { return root_; }

private:
    // The names taken, made into a set only when a new item needs a name
    // or one is removed: most syncs do neither, and the set would cost
    // every listing a node and a hash for each file.
    std::unordered_set<std::string>& Names() {
        if (unindexed_.empty()) return names_;
        names_.reserve(names_.size() + unindexed_.size());
        for (std::string& name : unindexed_) names_.insert(std::move(name));
        unindexed_.clear();
        return names_;
    }

    std::string root_, extension_;
    // Every name in the folder ending in the items' extension (the only
    // ones a new item's name could be), listed or written since: those in
    // the set and those not yet in it.
    std::unordered_set<std::string> names_;
    std::vector<std::string> unindexed_;
    std::unordered_set<std::string> fresh_;  // names NewHref gave that no item was written under yet
    bool listed_ = false;          // the names taken hold the whole folder as List found it
    std::vector<std::string> leftovers_;  // temporary files of an interrupted run that List found
    StagedWrites staged_;
};

// Whether folder holds an item ending in extension, or (vdir) a collection's
// name or colour.
bool HoldsItems(const std::string& folder, const std::string& extension, bool vdir) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool found = false;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        found = IsItemName(name, extension) || (vdir && (name == "displayname" || name == "color"));
        if (found) break;
    }
    closedir(dir);
    return found;
}

}  // namespace

std::vector<std::string> CollectionsInside(const std::string& root, const std::string& extension) {
    std::vector<std::string> inside;
    if (HoldsItems(root, extension, false)) return inside;
    std::error_code failed;
    for (std::filesystem::directory_iterator it(root, failed), end; !failed && it != end; it.increment(failed)) {
        const std::string name = it->path().filename().string();
        if (name[0] != '.' && IsFolder(it->path().string()) && HoldsItems(it->path().string(), extension, true))
            inside.push_back(name);
    }
    std::sort(inside.begin(), inside.end());
    return inside;
}

std::string SafeFileName(const std::string& uid) {
    std::string name;
    for (unsigned char c : uid) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.' || c == '@';
        name += plain ? static_cast<char>(c) : '_';
    }
    if (name.empty() || name[0] == '.') name = "item" + name;
    if (name.size() > 80) name = name.substr(0, 60) + "-" + morvane_pim::HashText(uid).substr(0, 16);
    return name;
}

std::unique_ptr<Collection> OpenVdir(const std::string& root, const std::string& extension) {
    return std::make_unique<VdirCollection>(root, extension);
}

}  // namespace morvane_engine
