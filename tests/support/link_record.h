// A link record the way the adapter hands one to the device library, for
// the link and device tests.
#ifndef MORVANE_TESTS_SUPPORT_LINK_RECORD_H
#define MORVANE_TESTS_SUPPORT_LINK_RECORD_H

#include "device/simulator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testing_support {

// A link record the way the adapter builds one: one slot per link field of
// the database, every slot empty unless set (an absent slot has the length
// 0xFFFFFFFF).
class OutgoingRecord {
public:
    OutgoingRecord(uint32_t recordId, const std::vector<tethra_sim::LinkField>& fields)
        : names_(fields), slots_(fields.size(), _tagDVXFIELD{12, 0, nullptr}), values_(fields.size()) {
        record_ = _tagDVXDBREC{16, static_cast<uint32_t>(slots_.size()), recordId, slots_.data()};
    }
    OutgoingRecord(const OutgoingRecord&) = delete;
    OutgoingRecord& operator=(const OutgoingRecord&) = delete;

    void Set(const std::string& field, const std::vector<uint8_t>& bytes, bool absent = false) {
        for (size_t i = 0; i < names_.size(); ++i) {
            if (names_[i].name != field) continue;
            values_[i] = bytes;
            slots_[i].length = absent ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes.size());
            slots_[i].data = values_[i].empty() ? nullptr : values_[i].data();
            return;
        }
        ADD_FAILURE() << "no link field " << field;
    }
    void SetText(const std::string& field, const std::string& text) {
        Set(field, std::vector<uint8_t>(text.begin(), text.end()));
    }
    _tagDVXDBREC* get() { return &record_; }
    uint32_t id() const { return record_.recordId; }

private:
    std::vector<tethra_sim::LinkField> names_;
    std::vector<_tagDVXFIELD> slots_;
    std::vector<std::vector<uint8_t>> values_;
    _tagDVXDBREC record_;
};

}  // namespace testing_support

#endif
