// A vdir (as vdirsyncer, khal and khard keep them): one folder, one item a
// file named <href>, items recognised by their extension; dot files,
// temporary files and files of another extension are not items.
#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <unordered_set>

#include "engine/atomic_file.h"
#include "engine/collection.h"
#include "pim/content_lines.h"

namespace morvane_engine {

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class VdirCollection : public Collection {
public:
    VdirCollection(const std::string& root, const std::string& extension) : root_(root), extension_(extension) {}

    bool Create(const std::string& displayName, std::string* error) override {
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
        return NameCollection(root_, displayName, error);
    }

    bool Exists() const override { return IsFolder(root_); }

    bool List(std::vector<CollectionEntry>* entries, std::string* error) override {
        entries->clear();
        names_.clear();
        leftovers_.clear();
        listed_ = false;
        DIR* folder = opendir(root_.c_str());
        if (folder == nullptr) {
            listed_ = errno == ENOENT;
            if (listed_) return true;
            *error = "cannot list " + root_ + ": " + strerror(errno);
            return false;
        }
        while (const dirent* found = readdir(folder)) {
            std::string name = found->d_name;
            // Every name is taken, item or not, so that a new item's name
            // is chosen without asking the file system again.
            const bool item = !name.empty() && name[0] != '.' && EndsWith(name, extension_);
            if (name.compare(0, kTemporaryPrefixLength, kTemporaryPrefix) == 0) leftovers_.push_back(name);
            struct stat info;
            if (item && fstatat(dirfd(folder), name.c_str(), &info, 0) == 0 && S_ISREG(info.st_mode)) {
                CollectionEntry entry;
                entry.path = root_ + "/" + name;
                entry.href = name;
                StampOf(info, &entry.size, &entry.mtime);
                entries->push_back(std::move(entry));
            }
            names_.insert(std::move(name));
        }
        closedir(folder);
        listed_ = true;
        return true;
    }

    bool Read(const CollectionEntry& entry, morvane_pim::Item* item, std::string* error) override {
        *item = morvane_pim::Item();
        return ReadWholeFile(entry.path, &item->text, error);
    }

    bool Write(const std::string& href, const morvane_pim::Item& item, CollectionEntry* written,
               std::string* error) override {
        const std::string path = root_ + "/" + href;
        *written = CollectionEntry();
        if (!staged_.Stage(path, item.text, "", &written->size, &written->mtime, error)) return false;
        names_.insert(href);
        written->href = href;
        written->path = path;
        return true;
    }

    bool Remove(const std::string& href, std::string* error) override {
        const std::string path = root_ + "/" + href;
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            *error = "cannot remove " + path + ": " + strerror(errno);
            return false;
        }
        names_.erase(href);
        staged_.Touch(root_);
        return true;
    }

    std::string NewHref(const std::string& uid) override {
        const std::string base = SafeFileName(uid);
        std::string href = base + extension_;
        for (int n = 2; names_.count(href) != 0 || (!listed_ && access((root_ + "/" + href).c_str(), F_OK) == 0); ++n)
            href = base + "-" + std::to_string(n) + extension_;
        names_.insert(href);
        return href;
    }

    bool Flush(std::string* error) override { return staged_.Commit(error); }

    const std::string& root() const override { return root_; }

private:
    std::string root_, extension_;
    std::unordered_set<std::string> names_;  // every name in the folder, listed or written since
    bool listed_ = false;          // names_ holds the whole folder as List found it
    std::vector<std::string> leftovers_;  // temporary files of an interrupted run that List found
    StagedWrites staged_;
};

}  // namespace

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
