// Export passes: a full export (every record, values loaded at the open)
// and a normal export of N changed records (values fetched and released
// one by one), each beside the floor: the simulated device handing over
// the same records through the link contract and a plain copy of their
// bytes.
#include "bench/bench_main.h"
#include "bench/host_pass.h"

namespace morvane_bench {

namespace {

const char kFullPass[] = "full_export";
const char kIncrementalPass[] = "incremental_export";

uint32_t DeviceDbs(const KindInfo& kind, uint32_t ids[2]) {
    ids[0] = kind.dbId;
    ids[1] = kind.companionId;
    return kind.companionId != 0 ? 2 : 1;
}

void AdapterExport(benchmark::State& state, const KindInfo& kind, bool full, AdapterCopy& adapter) {
    const int64_t n = state.range(0);
    if (!adapter.Restart()) return Fail(state, "the adapter did not start");
    Fill(adapter.device(), kind, static_cast<size_t>(n));
    PassTotals totals;
    totals.records = n;
    totals.fieldsPerRecord = FieldsRead(kind);
    totals.valueBytes = ValueBytes(adapter.device(), kind);
    for (int pass = 0; pass < kWarmUpPasses; ++pass) {
        if (!full) MarkAllChanged(adapter.device(), kind);
        if (ExportPass(adapter, kind, full ? 0 : kStamp, nullptr) != n) return Fail(state, "the warm-up export failed");
    }
    for (auto _ : state) {
        // A host runs each database's pass once in a session.  The private
        // heap keeps every pass's cache entries until the session ends and
        // the open validates that heap as a whole, so a pass in a session
        // that already ran hundreds of them would measure their leftovers.
        if (!adapter.Restart()) return Fail(state, "the adapter did not start again");
        if (!full) MarkAllChanged(adapter.device(), kind);
        PassMeter meter;
        meter.Start();
        const int64_t read = ExportPass(adapter, kind, full ? 0 : kStamp, nullptr);
        meter.Stop();
        if (read != n) return Fail(state, "export read " + std::to_string(read) + " records");
        state.SetIterationTime(meter.seconds());
        totals.Add(meter);
    }
    ReportAdapter(state, FloorKey(full ? kFullPass : kIncrementalPass, kind, n), totals);
}

// GetFirstSyncRecordData of each device database into one heap, every
// value copied, the heap destroyed.
int64_t FullFloorPass(FloorDevice& floor, const KindInfo& kind, std::vector<uint8_t>& sink) {
    uint32_t ids[2];
    const uint32_t dbs = DeviceDbs(kind, ids);
    HANDLE heap = HeapCreate(0, 1, 0);
    int64_t records = 0;
    sink.clear();
    for (uint32_t d = 0; d < dbs; ++d) {
        _tagDVXDBREC* array = nullptr;
        uint32_t count = 0;
        if (floor.link().S_DVXGetFirstSyncRecordData(ids[d], &array, &count, heap) != 1) records = -1;
        for (uint32_t i = 0; records >= 0 && i < count; ++i) CopyValues(array[i], sink);
        if (records >= 0) records += count;
    }
    HeapDestroy(heap);
    return records;
}

// The change lists, then per record: a temporary heap, GetRecordData of
// that one record, its values copied and dropped, the heap destroyed.
int64_t IncrementalFloorPass(FloorDevice& floor, const KindInfo& kind, std::vector<uint8_t>& sink) {
    uint32_t ids[2];
    const uint32_t dbs = DeviceDbs(kind, ids);
    HANDLE lists = HeapCreate(0, 1, 0);
    int64_t records = 0;
    for (uint32_t d = 0; d < dbs && records >= 0; ++d) {
        uint32_t *added = nullptr, *changed = nullptr, *deleted = nullptr;
        uint32_t addedCount = 0, changedCount = 0, deletedCount = 0;
        if (floor.link().S_DVXGetAllSyncRecordList(ids[d], lists, &added, &addedCount, &changed, &changedCount,
                                                   &deleted, &deletedCount) != 1)
            records = -1;
        for (uint32_t i = 0; records >= 0 && i < changedCount; ++i) {
            HANDLE heap = HeapCreate(0, 1, 0);
            _tagDVXDBREC request = {16, 0, changed[i], nullptr};
            _tagDVXDBREC* requests[1] = {&request};
            uint32_t got = 0;
            if (floor.link().S_DVXGetRecordData(ids[d], requests, 1, heap, &got) == 1 && got == 1) {
                sink.clear();
                CopyValues(request, sink);
                ++records;
            } else {
                records = -1;
            }
            HeapDestroy(heap);
        }
    }
    HeapDestroy(lists);
    return records;
}

void FloorExport(benchmark::State& state, const KindInfo& kind, bool full) {
    const int64_t n = state.range(0);
    FloorDevice& floor = FloorDevice::Get();
    Fill(floor.image(), kind, static_cast<size_t>(n));
    MarkAllChanged(floor.image(), kind);
    PassTotals totals;
    totals.records = n;
    totals.valueBytes = ValueBytes(floor.image(), kind);
    std::vector<uint8_t> sink;
    for (int pass = 0; pass < kWarmUpPasses; ++pass)
        if ((full ? FullFloorPass(floor, kind, sink) : IncrementalFloorPass(floor, kind, sink)) != n)
            return Fail(state, "the warm-up pass failed");
    for (auto _ : state) {
        PassMeter meter;
        meter.Start();
        const int64_t read = full ? FullFloorPass(floor, kind, sink) : IncrementalFloorPass(floor, kind, sink);
        meter.Stop();
        if (read != n) return Fail(state, "the device handed over " + std::to_string(read) + " records");
        benchmark::DoNotOptimize(sink.data());
        state.SetIterationTime(meter.seconds());
        totals.Add(meter);
    }
    ReportFloor(state, FloorKey(full ? kFullPass : kIncrementalPass, kind, n), totals);
}

}  // namespace

void RegisterExportBenchmarks() {
    for (const bool full : {true, false}) {
        const std::string pass = full ? kFullPass : kIncrementalPass;
        for (const KindInfo& kind : Kinds())
            for (const int64_t n : Sizes()) {
                Register("floor/" + pass + "/" + kind.name, n,
                         [&kind, full](benchmark::State& state) { FloorExport(state, kind, full); });
                Register("adapter/" + pass + "/" + kind.name, n, [&kind, full](benchmark::State& state) {
                    AdapterExport(state, kind, full, AdapterCopy::Quiet());
                });
            }
    }
}

// A full export with tracing on, at the smallest size only: every line of
// the pass reaches the log file.
void RegisterTracedExportBenchmark() {
    const KindInfo& kind = Kinds().front();
    Register(std::string("adapter_traced/") + kFullPass + "/" + kind.name, Sizes().front(),
             [&kind](benchmark::State& state) { AdapterExport(state, kind, true, AdapterCopy::Traced()); });
}

}  // namespace morvane_bench
