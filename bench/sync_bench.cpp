// morvane-sync sync against the simulated device and real files: a first
// synchronisation of N records into an empty store, and an incremental one
// after 1% of the records changed on the handheld, each run as the program
// a person runs (a process of its own, timed on the wall clock: flushes to
// disk are part of its cost).  Beside them the floor: the same records
// exported and imported again through the device session, by morvane-sync
// export --full --import (one JSON file of all records is its only file),
// and the anchor: vdirsyncer copying the same items between two folders.
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/bench_main.h"
#include "support/sandbox.h"
#ifdef MORVANE_BENCH_ENGINE
#include "engine/atomic_file.h"
#include "engine/collection.h"
#endif

namespace fs = std::filesystem;

namespace morvane_bench {

namespace {

// A world of the sync's own: drive C, a registry with tracing off, and
// the device image, named to the child process on its command line.
struct SyncWorld {
    std::string root;
    std::string environment;  // "NAME=value ..." for the child
};

// Removes a folder when the benchmarks end.
struct FolderRemover {
    std::string path;
    ~FolderRemover() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const SyncWorld& World() {
    static SyncWorld world = [] {
        SyncWorld w;
        char pattern[] = "/tmp/morvane-bench-sync-XXXXXX";
        w.root = mkdtemp(pattern) != nullptr ? pattern : "/tmp/morvane-bench-sync";
        fs::create_directories(w.root + "/drive_c/Korvell/Data");
        testing_support::WriteFile(w.root + "/user.reg",
                                   "Windows Registry Editor Version 5.00\n\n"
                                   "[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n"
                                   "\"DatafilePath\"=\"C:\\\\Korvell\\\\Data\\\\\"\n\n"
                                   "[HKEY_CURRENT_USER\\SOFTWARE\\Korvell\\HALVERD\\Setting]\n"
                                   "\"QA_Trace\"=dword:00000000\n");
        w.environment = "MORVANE_DRIVE_C='" + w.root + "/drive_c' MORVANE_REGISTRY='" + w.root +
                        "/user.reg' MORVANE_MESSAGEBOX=ok";
        return w;
    }();
    static const FolderRemover remover{world.root};
    return world;
}

// Moves a folder out of the way, to be deleted when the benchmarks end.
// Deleting thousands of files between runs would slow the next run's file
// creation on a filesystem without a journal, where ext4 skips the inodes
// freed in the last minutes while it looks for a free one.
void Discard(const std::string& path) {
    static int count = 0;
    std::error_code ignored;
    fs::create_directories(World().root + "/trash", ignored);
    fs::rename(path, World().root + "/trash/" + std::to_string(++count), ignored);
}

// Writes to disk what the benchmark itself left unwritten (the handheld's
// image it just saved, the files of runs before), so that a measured run's
// flushes write its own files only, as on a PC where nothing else is
// being written.
void FlushOthersWrites() { sync(); }

// Runs morvane-sync with the arguments; false when it fails.  *cpu gets
// the CPU seconds the child used.  A measured run goes through the command
// in MORVANE_BENCH_WRAP when set (such as "perf record -g --"), to see
// where its time goes.
bool RunChild(const std::string& arguments, double* wall, double* cpu, bool measured = true) {
    const char* wrap = measured ? getenv("MORVANE_BENCH_WRAP") : nullptr;
    const std::string command = std::string(wrap != nullptr ? wrap : "") + " env " + World().environment + " '" +
                                std::string(MORVANE_BIN_DIR) + "/morvane-sync' " + arguments + " > /dev/null 2>&1";
    if (measured) FlushOthersWrites();
    rusage before, after;
    getrusage(RUSAGE_CHILDREN, &before);
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const int status = system(command.c_str());
    clock_gettime(CLOCK_MONOTONIC, &end);
    getrusage(RUSAGE_CHILDREN, &after);
    *wall = static_cast<double>(end.tv_sec - start.tv_sec) + static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    *cpu = seconds(after.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_utime) - seconds(before.ru_stime);
    return status == 0;
}

// A fresh handheld with n records of the kind, and an empty store.
std::string FreshImage(const KindInfo& kind, int64_t n, const std::string& name) {
    tethra_sim::DeviceImage image = tethra_sim::EmptyImage();
    Fill(image, kind, static_cast<size_t>(n));
    Clear(image, kind);  // forget the fill, so that the next Fill of this image is made again
    Fill(image, kind, static_cast<size_t>(n));
    const std::string path = World().root + "/" + name + ".json";
    std::string error;
    image.Save(path, &error);
    Discard(World().root + "/store");
    fs::remove(World().root + "/drive_c/Korvell/Data/ISEnvSet.ini");
    return path;
}

std::string SyncArguments(const KindInfo& kind, const std::string& image) {
    return "sync --yes --device '" + image + "' --store '" + World().root + "/store' --section " +
           std::to_string(kind.section);
}

// Files of the store changed since when (seconds), the state left out.
int64_t FilesWrittenSince(const fs::file_time_type& when) {
    int64_t count = 0;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(World().root + "/store", ignored))
        if (entry.is_regular_file() && entry.path().string().find("/.morvane") == std::string::npos &&
            entry.last_write_time() > when)
            ++count;
    return count;
}

void Report(benchmark::State& state, int64_t n, double wall, double cpu, bool ok) {
    state.SetIterationTime(wall);
    state.counters["items_per_s"] = static_cast<double>(n) / wall;
    state.counters["cpu_s"] = cpu;
    if (!ok) state.SkipWithError("morvane-sync failed");
}

// Wall clock and this process's CPU time since it was made.
struct InProcessTimer {
    timespec wall0, cpu0;
    InProcessTimer() {
        clock_gettime(CLOCK_MONOTONIC, &wall0);
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    }
    static double Since(clockid_t clock, const timespec& a) {
        timespec b;
        clock_gettime(clock, &b);
        return static_cast<double>(b.tv_sec - a.tv_sec) + static_cast<double>(b.tv_nsec - a.tv_nsec) / 1e9;
    }
    void Report(benchmark::State& state, int64_t n, bool ok) const {
        const double cpu = Since(CLOCK_PROCESS_CPUTIME_ID, cpu0);
        morvane_bench::Report(state, n, Since(CLOCK_MONOTONIC, wall0), cpu, ok);
    }
};

void FirstSync(benchmark::State& state, const KindInfo& kind) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        const std::string image = FreshImage(kind, n, "first");
        double wall = 0, cpu = 0;
        const bool ok = RunChild(SyncArguments(kind, image), &wall, &cpu);
        Report(state, n, wall, cpu, ok);
    }
}

// 1% of the records changed on the handheld after a first sync.
void IncrementalSync(benchmark::State& state, const KindInfo& kind) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        const std::string path = FreshImage(kind, n, "incremental");
        double wall = 0, cpu = 0;
        bool ok = RunChild(SyncArguments(kind, path), &wall, &cpu, false);
        tethra_sim::DeviceImage image;
        std::string error;
        ok = ok && image.Load(path, &error);
        tethra_sim::Database* db = image.Find(kind.dbId);
        const size_t step = 100;
        for (size_t i = 0; ok && db != nullptr && i < db->records.size(); i += step) {
            const tethra_sim::LinkField& text = db->fields[static_cast<size_t>(db->FieldIndex(
                kind.section == 1 ? "S_LAST_NAME" : "S_DESCRIPTION4"))];
            image.ChangeRecord(kind.dbId, db->records[i].id, {{text.name, tethra_sim::TextValue("Changed")}});
        }
        ok = ok && image.Save(path, &error);
        const auto before = fs::file_time_type::clock::now();
        ok = ok && RunChild(SyncArguments(kind, path), &wall, &cpu);
        state.counters["files_written"] = static_cast<double>(FilesWrittenSince(before));
        Report(state, n, wall, cpu, ok);
    }
}

// The device session alone: every record exported (full) and written to
// one JSON file, then imported into the handheld again.
void Floor(benchmark::State& state, const KindInfo& kind) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        const std::string image = FreshImage(kind, n, "floor");
        const std::string out = World().root + "/floor";
        Discard(out);
        double wall = 0, cpu = 0;
        const bool ok = RunChild("export --yes --full --device '" + image + "' --section " +
                                     std::to_string(kind.section) + " --out '" + out + "' --import '" + out + "'",
                                 &wall, &cpu);
        Report(state, n, wall, cpu, ok);
    }
}

// What the simulated handheld costs each session besides the link: its
// image file read whole at the start and written whole at the end.  A
// real handheld keeps its records in its own memory; this is the share of
// a sync's time that belongs to the simulation.
void DeviceImageFloor(benchmark::State& state, const KindInfo& kind) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        const std::string path = FreshImage(kind, n, "image");
        const InProcessTimer timer;
        tethra_sim::DeviceImage image;
        std::string error;
        timer.Report(state, n, image.Load(path, &error) && image.Save(path, &error));
    }
}

// The anchor for a PIM sync's speed: vdirsyncer (Debian's) copying the
// same items, as a first sync wrote them into the store, from one
// filesystem collection into an empty one.  Only its sync is timed.
void VdirsyncerFirst(benchmark::State& state, const KindInfo& kind) {
    const int64_t n = state.range(0);
    const bool contacts = kind.section == 1;
    const std::string from = World().root + "/store/" + (contacts ? "contacts" : "calendar");
    const std::string to = World().root + "/vdirsyncer-copy", config = World().root + "/vdirsyncer.conf";
    for (auto _ : state) {
        double wall = 0, cpu = 0;
        bool ok = RunChild(SyncArguments(kind, FreshImage(kind, n, "anchor")), &wall, &cpu, false);
        Discard(to);
        Discard(World().root + "/vdirsyncer-status");
        fs::create_directories(to);
        const char* ext = contacts ? ".vcf" : ".ics";
        testing_support::WriteFile(config, "[general]\nstatus_path = \"" + World().root + "/vdirsyncer-status/\"\n"
                                           "[pair anchor]\na = \"anchor_a\"\nb = \"anchor_b\"\ncollections = null\n"
                                           "[storage anchor_a]\ntype = \"filesystem\"\npath = \"" + from + "/\"\n"
                                           "fileext = \"" + ext + "\"\n"
                                           "[storage anchor_b]\ntype = \"filesystem\"\npath = \"" + to + "/\"\n"
                                           "fileext = \"" + ext + "\"\n");
        const std::string vdirsyncer = "vdirsyncer -c '" + config + "' ";
        ok = ok && system((vdirsyncer + "discover > /dev/null 2>&1").c_str()) == 0;
        FlushOthersWrites();
        rusage before, after;
        getrusage(RUSAGE_CHILDREN, &before);
        timespec start, end;
        clock_gettime(CLOCK_MONOTONIC, &start);
        ok = ok && system((vdirsyncer + "sync > /dev/null 2>&1").c_str()) == 0;
        clock_gettime(CLOCK_MONOTONIC, &end);
        getrusage(RUSAGE_CHILDREN, &after);
        wall = static_cast<double>(end.tv_sec - start.tv_sec) + static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
        cpu = static_cast<double>(after.ru_utime.tv_sec - before.ru_utime.tv_sec + after.ru_stime.tv_sec -
                                  before.ru_stime.tv_sec);
        int64_t copied = 0;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(to, ignored)) copied += entry.path().extension() == ext;
        state.counters["items_copied"] = static_cast<double>(copied);
        Report(state, n, wall, cpu, ok && copied == n);
    }
}

#ifdef MORVANE_BENCH_ENGINE
// The file system's share of a first sync, the floor of its file writes:
// n item files of a contact's size (1,200 bytes) and name, written as the
// engine writes them: each to a temporary file, and per 1,024 of them one
// flush and the renames into place.
void ItemFiles(benchmark::State& state) {
    const int64_t n = state.range(0);
    const std::string bytes(1200, 'x'), folder = World().root + "/files";
    for (auto _ : state) {
        Discard(folder);
        fs::create_directories(folder);
        FlushOthersWrites();
        const InProcessTimer timer;
        morvane_engine::StagedWrites staged;
        std::string error;
        bool ok = true;
        for (int64_t i = 0; ok && i < n; ++i) {
            char name[64];
            snprintf(name, sizeof name, "/morvane-%024llx.vcf", static_cast<unsigned long long>(i) * 2654435761u);
            int64_t size = 0, mtime = 0;
            ok = staged.Stage(folder + name, bytes, "", "", &size, &mtime, &error);
            if (ok && (i + 1) % 1024 == 0) ok = staged.Commit(&error);
        }
        timer.Report(state, n, ok && staged.Commit(&error));
    }
}

// What an incremental sync of n items with 1 % of them changed cannot do
// without on this machine, the floor its own time is compared with: the
// program started with its libraries (morvane-sync --help, run as the
// syncs are), every item file of the collection listed with its size and
// time, and one in a hundred rewritten as the engine writes them (each to
// a temporary file, one flush, the renames, the folder's flush).  Its
// cpu_s leaves out the program's start.
void IncrementalFiles(benchmark::State& state) {
    const int64_t n = state.range(0);
    const std::string folder = World().root + "/incremental-files";
    morvane_pim::Item item;
    item.text.assign(1200, 'x');
    // Made once: a run rewrites items with what they hold, so that the
    // collection is the same for the next.
    Discard(folder);
    std::string error;
    std::unique_ptr<morvane_engine::Collection> made = morvane_engine::OpenVdir(folder, ".vcf");
    bool ready = made->Create("floor", &error);
    for (int64_t i = 0; ready && i < n; ++i) {
        morvane_engine::CollectionEntry written;
        ready = made->Write(made->NewHref("item-" + std::to_string(i)), item, &written, &error);
        if (ready && (i + 1) % 1024 == 0) ready = made->TakeWrites().Commit(&error);
    }
    ready = ready && made->TakeWrites().Commit(&error);
    for (auto _ : state) {
        FlushOthersWrites();
        const InProcessTimer timer;
        double wall = 0, cpu = 0;
        bool ok = ready && RunChild("--help", &wall, &cpu, false);
        std::unique_ptr<morvane_engine::Collection> items = morvane_engine::OpenVdir(folder, ".vcf");
        std::vector<morvane_engine::CollectionEntry> entries;
        ok = ok && items->List(&entries, &error) && static_cast<int64_t>(entries.size()) == n;
        for (size_t i = 0; ok && i < entries.size(); i += 100) {
            morvane_engine::CollectionEntry written;
            ok = items->Write(entries[i].href, item, &written, &error);
        }
        timer.Report(state, n, ok && items->TakeWrites().Commit(&error));
    }
}
#endif

}  // namespace

void RegisterSyncBenchmarks() {
#ifdef MORVANE_BENCH_ENGINE
    for (int64_t n : Sizes())
        if (n <= 10000) Register("floor/item_files", n, ItemFiles);
#endif
    for (const KindInfo& kind : Kinds()) {
        if (kind.kind == Kind::kMail) continue;
        for (int64_t n : Sizes()) {
            if (n > 10000) continue;
            Register(std::string("floor/session_export_import/") + kind.name, n,
                     [&kind](benchmark::State& state) { Floor(state, kind); });
            Register(std::string("floor/device_image/") + kind.name, n,
                     [&kind](benchmark::State& state) { DeviceImageFloor(state, kind); });
            Register(std::string("sync/first/") + kind.name, n,
                     [&kind](benchmark::State& state) { FirstSync(state, kind); });
            Register(std::string("sync/incremental_1pct/") + kind.name, n,
                     [&kind](benchmark::State& state) { IncrementalSync(state, kind); });
            Register(std::string("anchor/vdirsyncer_first/") + kind.name, n,
                     [&kind](benchmark::State& state) { VdirsyncerFirst(state, kind); });
        }
    }
#ifdef MORVANE_BENCH_ENGINE
    // Last, so that its files are not beside the syncs' while they run.
    for (int64_t n : Sizes())
        if (n <= 10000) Register("floor/incremental_files", n, IncrementalFiles);
#endif
}

}  // namespace morvane_bench
