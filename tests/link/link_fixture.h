// A CDeviceLink on a simulated handheld whose image the test writes first,
// and the helpers the link tests share: building images, link records the
// way the adapter hands them to the device, and reading what the device
// stored.
#ifndef MORVANE_TESTS_LINK_LINK_FIXTURE_H
#define MORVANE_TESTS_LINK_LINK_FIXTURE_H

#include "device/simulator.h"
#include "link/device_link.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace link_testing {

// An error code no device operation reports by itself.
constexpr uint32_t kInjectedError = 0x1000ABCDu;
// A fault that never fires, only counts the calls of its operation.
constexpr uint32_t kNeverCall = 1000000;

// A link record the way the adapter builds one: one slot per link field of
// the database, every slot empty unless set.
class OutgoingRecord {
public:
    OutgoingRecord(uint32_t recordId, const std::vector<tethra_sim::LinkField>& fields);
    OutgoingRecord(const OutgoingRecord&) = delete;
    OutgoingRecord& operator=(const OutgoingRecord&) = delete;

    void Set(const std::string& field, const std::vector<uint8_t>& bytes);
    void SetText(const std::string& field, const std::string& text);
    void SetAbsent(const std::string& field);
    _tagDVXDBREC* get() { return &record_; }

private:
    std::vector<tethra_sim::LinkField> names_;
    std::vector<_tagDVXFIELD> slots_;
    std::vector<std::vector<uint8_t>> values_;
    _tagDVXDBREC record_;
};

class LinkTest : public ::testing::Test {
protected:
    LinkTest();
    ~LinkTest() override;

    // Saves image_ in the sandbox, points $MORVANE_DEVICE at it and makes
    // a fresh link (the device loads the image when the port opens).
    void UseImage();
    // UseImage, then OpenLink, which must succeed.
    void Connect();

    // The device behind the newest link.
    tethra_sim::DeviceImage& Device();
    tethra_sim::Database& DeviceDb(uint32_t dbId);
    // Counts the calls of operation from now on.
    void CountCalls(const std::string& operation);
    // Calls of operation since CountCalls.
    uint32_t Calls(const std::string& operation);

    // A heap standing for the adapter's, destroyed with the test.
    HANDLE Heap();

    // In image_: a record with this id in dbId whose "S_SUBJECT" is subject
    // (or another text field where the database has no subject).
    void AddRecordWithId(uint32_t dbId, uint32_t recordId, const std::string& subject);
    // The subject text the device holds for a record ("<none>" when missing).
    std::string StoredSubject(uint32_t dbId, uint32_t recordId);
    // The subject text of a record the device returned.
    static std::string SubjectOf(uint32_t dbId, const _tagDVXDBREC& record);
    static std::string TextField(uint32_t dbId);

    testing_support::Sandbox sandbox_;
    tethra_sim::DeviceImage image_;
    std::unique_ptr<CDeviceLink> link_;
    HANDLE heap_ = nullptr;
};

class MergedMailTest : public LinkTest {
protected:
    // A device with the given system information value whose two mail
    // databases take part in synchronisation.
    void ConnectModel(uint32_t systemInfoValue);
    // Asks for database 16's field list, as the adapter does when it opens
    // the database (the link then knows the folder field), and returns it.
    std::vector<tethra_sim::LinkField> MailFields();
    // The bytes of a folder number as the link carries them.
    static std::vector<uint8_t> Folder(int32_t value) { return tethra_sim::NumberValue(value).bytes; }
};

// The 32-bit word at offset in a configuration record.
uint32_t ConfigWord(const _tagDVXCONF& config, size_t offset);

}  // namespace link_testing

#endif
