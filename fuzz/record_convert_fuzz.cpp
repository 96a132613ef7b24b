// The two record converters fed what a misbehaving device could hand over:
// link field lists with any names (with or without a terminating zero) and
// type codes, records with more or fewer slots than the list, values of any
// length, null data behind a nonzero length, and then the working records
// the host side could make of them.  Every value buffer is exactly as long
// as its slot says, so a read past a value's end is caught.
#include "schema/field_table.h"
#include "schema/record_convert.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

namespace {

const uint32_t kDatabaseIds[] = {1, 6, 7, 8, 15, 16};
const uint32_t kLinkTypes[] = {kLinkTypeByte, kLinkTypeDate, kLinkTypeTime, kLinkTypeDateTime, 16, 17};

// Keeps every buffer the slots point to alive for one input.
struct Values {
    std::deque<std::vector<uint8_t>> buffers;

    // A slot's length and data: empty, absent, a short or long value, or
    // null data behind a nonzero length.
    void Fill(FuzzedDataProvider& input, uint32_t* length, uint8_t** data) {
        switch (input.ConsumeIntegralInRange<int>(0, 4)) {
        case 0:
            *length = 0;
            *data = nullptr;
            return;
        case 1:
            *length = kValueAbsent;
            *data = nullptr;
            return;
        case 2:
            *length = input.ConsumeIntegral<uint32_t>();
            *data = nullptr;
            return;
        default: {
            buffers.push_back(input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(1, 48)));
            std::vector<uint8_t>& bytes = buffers.back();
            *length = static_cast<uint32_t>(bytes.size());
            *data = bytes.empty() ? nullptr : bytes.data();
            if (bytes.empty()) *length = 0;
            return;
        }
        }
    }
};

// A link field name: one the database's map knows (so values get
// converted) or raw bytes that may fill all 96 without a zero.
void FillName(FuzzedDataProvider& input, const DatabaseSchema& schema, char (&name)[96]) {
    memset(name, 0, sizeof(name));
    if (schema.linkNameCount > 0 && input.ConsumeBool()) {
        const LinkFieldName& entry = schema.linkNames[input.ConsumeIntegralInRange<uint32_t>(0, schema.linkNameCount - 1)];
        memcpy(name, entry.name, sizeof(entry.name));
        return;
    }
    std::vector<uint8_t> raw = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, sizeof(name)));
    if (!raw.empty()) memcpy(name, raw.data(), raw.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint32_t dbId = input.PickValueInArray(kDatabaseIds);
    const ConversionOptions options{input.ConsumeIntegralInRange<uint32_t>(0, 1),
                                    input.ConsumeIntegralInRange<uint32_t>(0, 1)};
    DatabaseSchema schema{};
    SelectDatabaseSchema(dbId, &schema);

    std::vector<_tagS_DVXFIELDINFO> fields(input.ConsumeIntegralInRange<size_t>(0, 40));
    for (_tagS_DVXFIELDINFO& field : fields) {
        field.size = sizeof(field);
        FillName(input, schema, field.name);
        field.type = input.ConsumeBool() ? input.PickValueInArray(kLinkTypes) : input.ConsumeIntegral<uint32_t>();
    }
    _tagS_DVXDBINFO info{sizeof(info), dbId, static_cast<uint32_t>(fields.size()),
                         fields.empty() ? nullptr : fields.data()};

    Values values;
    std::vector<_tagDVXFIELD> slots(input.ConsumeIntegralInRange<size_t>(0, fields.size() + 2));
    for (_tagDVXFIELD& slot : slots) {
        slot.size = sizeof(slot);
        values.Fill(input, &slot.length, &slot.data);
    }
    _tagDVXDBREC record{sizeof(record), static_cast<uint32_t>(slots.size()), input.ConsumeIntegral<uint32_t>(),
                        slots.empty() ? nullptr : slots.data()};

    HANDLE heap = HeapCreate(0, 0, 0);
    if (heap == nullptr) return 0;
    WorkingField* working = ConvertLinkToWorking(options, dbId, &record, heap, &info);
    if (working != nullptr && schema.table != nullptr) {
        // What the device sent, straight back.
        WorkingRecord back{kWorkingRecordSize, schema.table->fieldCount, record.recordId, working, 1};
        ConvertToLinkRecord(options, dbId, &back, heap, &info);
    }
    if (schema.table != nullptr) {
        // A working record the host side filled, possibly made for a shorter table.
        std::vector<WorkingField> hostSlots(input.ConsumeIntegralInRange<size_t>(0, schema.table->fieldCount));
        for (WorkingField& slot : hostSlots) {
            slot.size = sizeof(slot);
            values.Fill(input, &slot.length, &slot.data);
        }
        WorkingRecord host{kWorkingRecordSize, static_cast<uint32_t>(hostSlots.size()), 0,
                           hostSlots.empty() ? nullptr : hostSlots.data(), 1};
        ConvertToLinkRecord(options, dbId, &host, heap, &info);
    }
    HeapDestroy(heap);
    return 0;
}
