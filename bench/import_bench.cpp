// Import passes of N new records: written one by one (a normal
// synchronisation) and queued for one bulk write (a first
// synchronisation), each beside the floor: the same records' bytes copied
// into link records and handed to PutRecordData one by one, or to
// PutFirstSyncRecordData at once.
#include "bench/bench_main.h"
#include "bench/host_pass.h"

#include <cstring>
#include <map>

using tethra_sim::Database;
using tethra_sim::DeviceImage;

namespace morvane_bench {

namespace {

const char kOneByOnePass[] = "import";
const char kFirstSyncPass[] = "first_sync_import";
constexpr size_t kSampleRecords = 8;

// What the host writes: records it read from a device in an export, so
// that every text is one the adapter itself produces.
const std::vector<HostWrite>& Samples(const KindInfo& kind) {
    static std::map<const KindInfo*, std::vector<HostWrite>> samples;
    std::vector<HostWrite>& writes = samples[&kind];
    if (!writes.empty()) return writes;
    AdapterCopy& adapter = AdapterCopy::Quiet();
    Fill(adapter.device(), kind, kSampleRecords);
    std::vector<HostRecordTexts> read;
    if (ExportPass(adapter, kind, 0, &read) < 0) return writes;
    for (const HostRecordTexts& record : read) writes.push_back(ToWrite(kind, record));
    return writes;
}

void AdapterImport(benchmark::State& state, const KindInfo& kind, bool firstSync) {
    const int64_t n = state.range(0);
    AdapterCopy& adapter = AdapterCopy::Quiet();
    const std::vector<HostWrite>& records = Samples(kind);
    if (!adapter.Restart()) return Fail(state, "the adapter did not start");
    if (records.empty()) return Fail(state, "no sample records");
    PassTotals totals;
    totals.records = n;
    totals.fieldsPerRecord = static_cast<int64_t>(records.front().puts.size());
    for (int pass = 0; pass < kWarmUpPasses; ++pass) {
        Clear(adapter.device(), kind);
        if (!PrepareImport(adapter, kind, firstSync) || !ImportPass(adapter, kind, records, n))
            return Fail(state, "the warm-up import failed");
    }
    for (auto _ : state) {
        Clear(adapter.device(), kind);
        if (!PrepareImport(adapter, kind, firstSync)) return Fail(state, "the export open before the import failed");
        PassMeter meter;
        meter.Start();
        const bool ok = ImportPass(adapter, kind, records, n);
        meter.Stop();
        const size_t stored = RecordCount(adapter.device(), kind);
        if (!ok || stored != static_cast<size_t>(n))
            return Fail(state, "import stored " + std::to_string(stored) + " records");
        totals.valueBytes = ValueBytes(adapter.device(), kind);
        state.SetIterationTime(meter.seconds());
        totals.Add(meter);
    }
    Clear(adapter.device(), kind);
    ReportAdapter(state, FloorKey(firstSync ? kFirstSyncPass : kOneByOnePass, kind, n), totals);
}

// A link record of record's values, copied into heap.
_tagDVXDBREC* CopyToHeap(const tethra_sim::Record& record, HANDLE heap) {
    const uint32_t count = static_cast<uint32_t>(record.values.size());
    auto* link = static_cast<_tagDVXDBREC*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(_tagDVXDBREC)));
    auto* slots = static_cast<_tagDVXFIELD*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, count * sizeof(_tagDVXFIELD)));
    if (link == nullptr || slots == nullptr) return nullptr;
    *link = {16, count, 0, slots};
    for (uint32_t i = 0; i < count; ++i) {
        const tethra_sim::LinkValue& value = record.values[i];
        slots[i].size = 12;
        slots[i].length = static_cast<uint32_t>(value.bytes.size());
        if (value.bytes.empty()) continue;
        slots[i].data = static_cast<uint8_t*>(HeapAlloc(heap, 0, value.bytes.size()));
        if (slots[i].data == nullptr) return nullptr;
        std::memcpy(slots[i].data, value.bytes.data(), value.bytes.size());
    }
    return link;
}

// Every record of source's database(s) to the floor device: one by one
// (each in a heap of its own) or all at once per database.
bool FloorImportPass(FloorDevice& floor, const DeviceImage& source, const KindInfo& kind, bool firstSync) {
    for (const uint32_t dbId : {kind.dbId, kind.companionId}) {
        const Database* db = dbId != 0 ? source.Find(dbId) : nullptr;
        if (db == nullptr || db->records.empty()) continue;
        HANDLE heap = HeapCreate(0, 1, 0);
        std::vector<_tagDVXDBREC*> all;
        bool ok = true;
        for (const tethra_sim::Record& record : db->records) {
            _tagDVXDBREC* link = CopyToHeap(record, heap);
            if (link == nullptr) ok = false;
            if (!ok) break;
            if (firstSync) {
                all.push_back(link);
                continue;
            }
            uint32_t written = 0;
            ok = floor.link().S_DVXPutRecordData(dbId, &link, 1, &written) == 1;
            HeapDestroy(heap);
            heap = HeapCreate(0, 1, 0);
        }
        if (ok && firstSync)
            ok = floor.link().S_DVXPutFirstSyncRecordData(dbId, all.data(), static_cast<uint32_t>(all.size())) == 1;
        HeapDestroy(heap);
        if (!ok) return false;
    }
    return true;
}

void FloorImport(benchmark::State& state, const KindInfo& kind, bool firstSync) {
    const int64_t n = state.range(0);
    static DeviceImage source = tethra_sim::EmptyImage();
    Fill(source, kind, static_cast<size_t>(n));
    FloorDevice& floor = FloorDevice::Get();
    PassTotals totals;
    totals.records = n;
    totals.valueBytes = ValueBytes(source, kind);
    for (int pass = 0; pass < kWarmUpPasses; ++pass) {
        Clear(floor.image(), kind);
        if (!FloorImportPass(floor, source, kind, firstSync)) return Fail(state, "the warm-up pass failed");
    }
    for (auto _ : state) {
        Clear(floor.image(), kind);
        PassMeter meter;
        meter.Start();
        const bool ok = FloorImportPass(floor, source, kind, firstSync);
        meter.Stop();
        if (!ok || RecordCount(floor.image(), kind) != static_cast<size_t>(n))
            return Fail(state, "the device did not store every record");
        state.SetIterationTime(meter.seconds());
        totals.Add(meter);
    }
    Clear(floor.image(), kind);
    ReportFloor(state, FloorKey(firstSync ? kFirstSyncPass : kOneByOnePass, kind, n), totals);
}

}  // namespace

void RegisterImportBenchmarks() {
    for (const bool firstSync : {false, true}) {
        const std::string pass = firstSync ? kFirstSyncPass : kOneByOnePass;
        for (const KindInfo& kind : Kinds())
            for (const int64_t n : Sizes()) {
                Register("floor/" + pass + "/" + kind.name, n,
                         [&kind, firstSync](benchmark::State& state) { FloorImport(state, kind, firstSync); });
                Register("adapter/" + pass + "/" + kind.name, n,
                         [&kind, firstSync](benchmark::State& state) { AdapterImport(state, kind, firstSync); });
            }
    }
}

}  // namespace morvane_bench
