// The link's life cycle: opening in steps, resuming, tuning the timeouts,
// reading the system information, closing; and the plain operations.
#include "link_fixture.h"

#include "session/sync_session.h"

#include <string.h>

namespace link_testing {
namespace {

using tethra_sim::kErrNoDevice;
using tethra_sim::kErrNotConnected;
using tethra_sim::kErrNotSupported;
using tethra_sim::kErrPortNotOpen;
using tethra_sim::kErrPortUnavailable;

TEST_F(LinkTest, ConstructionStartsClosedAndClearsConnectError) {
    g_session.connectError = 1;
    CDeviceLink link;
    EXPECT_EQ(0u, g_session.connectError);
    EXPECT_EQ(-1, link.folderFieldIndex);
    EXPECT_EQ(0u, link.linkState);
    EXPECT_EQ(0u, link.noMerge);
    EXPECT_EQ(0u, link.familyNameFirst);
}

TEST_F(LinkTest, OpenLinkConnectsAndSetsBothTimeoutsTo30000) {
    ASSERT_NO_FATAL_FAILURE(UseImage());
    // What the device's configuration holds before the link tunes it.
    ASSERT_EQ(1, link_->tethra.S_DVXOpenPort("", 0));
    _tagDVXCONF before;
    ASSERT_EQ(1, link_->tethra.S_DVXGetConfig(&before));
    ASSERT_NE(30000u, ConfigWord(before, 8));

    EXPECT_EQ(1, link_->OpenLink());
    EXPECT_EQ(2u, link_->linkState);
    EXPECT_EQ(0u, g_session.connectError);
    _tagDVXCONF after;
    ASSERT_EQ(1, link_->tethra.S_DVXGetConfig(&after));
    EXPECT_EQ(30000u, ConfigWord(after, 8));
    EXPECT_EQ(30000u, ConfigWord(after, 12));
    EXPECT_EQ(0, memcmp(before.bytes, after.bytes, 8));
    EXPECT_EQ(0, memcmp(before.bytes + 16, after.bytes + 16, sizeof before.bytes - 16));
}

TEST_F(LinkTest, OpenLinkFailsAtThePortAndResumesThere) {
    image_.portAvailable = false;
    ASSERT_NO_FATAL_FAILURE(UseImage());
    EXPECT_EQ(0, link_->OpenLink());
    EXPECT_EQ(0u, link_->linkState);
    EXPECT_EQ(1u, g_session.connectError);
    EXPECT_EQ(kErrPortUnavailable, link_->GetLastError());

    Device().portAvailable = true;
    EXPECT_EQ(1, link_->OpenLink());
    EXPECT_EQ(2u, link_->linkState);
    EXPECT_EQ(1u, g_session.connectError) << "a later success leaves the flag set";
}

// The device does not answer: once absent altogether, once by a failed wait.
TEST_F(LinkTest, OpenLinkWhenTheDeviceNeverAnswersLeavesThePortOpen) {
    image_.attached = false;
    ASSERT_NO_FATAL_FAILURE(UseImage());
    EXPECT_EQ(0, link_->OpenLink());
    EXPECT_EQ(1u, link_->linkState);
    EXPECT_EQ(1u, g_session.connectError);
    EXPECT_EQ(kErrNoDevice, link_->GetLastError());
}

TEST_F(LinkTest, OpenLinkAfterAFailedWaitWaitsAgainWithoutReopeningThePort) {
    image_.FailCall("S_DVXWaitConnection", 1, kErrNoDevice, false);
    ASSERT_NO_FATAL_FAILURE(UseImage());
    ASSERT_EQ(0, link_->OpenLink());
    ASSERT_EQ(1u, link_->linkState);
    ASSERT_EQ(1u, g_session.connectError);

    Device().FailCall("S_DVXOpenPort", 1, kInjectedError, true);
    CountCalls("S_DVXWaitConnection");
    EXPECT_EQ(1, link_->OpenLink());
    EXPECT_EQ(2u, link_->linkState);
    EXPECT_EQ(1u, Calls("S_DVXWaitConnection"));
    EXPECT_EQ(1u, g_session.connectError);
}

TEST_F(LinkTest, OpenLinkOnAConnectedLinkOnlyTunesAndRereads) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    Device().FailCall("S_DVXOpenPort", 1, kInjectedError, true);
    Device().FailCall("S_DVXWaitConnection", 1, kInjectedError, true);
    _tagDVXCONF config;
    ASSERT_EQ(1, link_->tethra.S_DVXGetConfig(&config));
    uint32_t other = 777;
    memcpy(config.bytes + 8, &other, 4);
    memcpy(config.bytes + 12, &other, 4);
    ASSERT_EQ(1, link_->tethra.S_DVXSetConfig(&config));
    Device().systemInfoValue = 31;

    EXPECT_EQ(1, link_->OpenLink());
    ASSERT_EQ(1, link_->tethra.S_DVXGetConfig(&config));
    EXPECT_EQ(30000u, ConfigWord(config, 8));
    EXPECT_EQ(30000u, ConfigWord(config, 12));
    EXPECT_EQ(1u, link_->noMerge);
}

// A failing configuration ends OpenLink connected, with connectError untouched
// and the system information unread.
TEST_F(LinkTest, OpenLinkFailsWhenTheConfigurationFails) {
    for (const char* operation : {"S_DVXGetConfig", "S_DVXSetConfig"}) {
        SCOPED_TRACE(operation);
        image_ = tethra_sim::EmptyImage();
        image_.systemInfoValue = 31;
        image_.FailCall(operation, 1, kErrNotConnected, false);
        ASSERT_NO_FATAL_FAILURE(UseImage());
        EXPECT_EQ(0, link_->OpenLink());
        EXPECT_EQ(2u, link_->linkState);
        EXPECT_EQ(0u, g_session.connectError);
        EXPECT_EQ(0u, link_->noMerge);
        link_->CloseLink();
    }
}

TEST_F(LinkTest, ConfigurationNotSupportedCountsAsSuccess) {
    image_.configSupported = false;
    image_.systemInfoValue = 31;
    ASSERT_NO_FATAL_FAILURE(UseImage());
    EXPECT_EQ(1, link_->OpenLink());
    EXPECT_EQ(1u, link_->noMerge) << "the system information is read after the configuration";
}

struct ConfigErrorRow {
    uint32_t error;
    int expected;
};

TEST_F(LinkTest, GetConfigAndSetConfigForgiveOnly0x10000005) {
    static const ConfigErrorRow kRows[] = {
        {kErrNotSupported, 1},  // 0
        {kErrNoDevice, 0},
        {0x10000004u, 0},
        {0x10000015u, 0},
        {0, 0},
    };
    ASSERT_NO_FATAL_FAILURE(Connect());
    for (const ConfigErrorRow& row : kRows) {
        SCOPED_TRACE(row.error);
        Device().FailCall("S_DVXGetConfig", 1, row.error, false);
        Device().FailCall("S_DVXSetConfig", 1, row.error, false);
        _tagDVXCONF config;
        memset(&config, 0, sizeof config);
        EXPECT_EQ(row.expected, link_->GetConfig(&config));
        EXPECT_EQ(row.expected, link_->SetConfig(&config));
    }
}

struct SystemInfoRow {
    uint32_t value;
    const char* language;
    uint32_t noMerge;
    uint32_t familyNameFirst;
};

TEST_F(LinkTest, SystemInformationSetsNoMergeAndFamilyNameFirst) {
    static const SystemInfoRow kRows[] = {
        {31, "en", 1, 0},  // 0
        {32, "en", 0, 0},
        {0, "de", 1, 0},
        {0xFFFFFFFFu, "en", 0, 0},
        {40, "ja", 0, 1},
        {40, "JA", 0, 1},  // 5
        {40, "Ja", 0, 1},
        {40, "jA", 0, 1},
        {31, "ja_JP", 1, 1},
        {40, "jp", 0, 0},
        {40, "j", 0, 0},  // 10
        {40, "", 0, 0},
        {40, "aj", 0, 0},
    };
    for (const SystemInfoRow& row : kRows) {
        SCOPED_TRACE(std::to_string(row.value) + " " + row.language);
        image_ = tethra_sim::EmptyImage();
        image_.systemInfoValue = row.value;
        image_.language = row.language;
        ASSERT_NO_FATAL_FAILURE(Connect());
        EXPECT_EQ(row.noMerge, link_->noMerge);
        EXPECT_EQ(row.familyNameFirst, link_->familyNameFirst);
        EXPECT_EQ(row.noMerge == 0, link_->IsMergedDatabase(16));
        EXPECT_FALSE(link_->IsMergedDatabase(15) || link_->IsMergedDatabase(6));
        link_->CloseLink();
    }
}

TEST_F(LinkTest, SystemInformationFlagsAreNeverClearedAgain) {
    image_.systemInfoValue = 31;
    image_.language = "ja";
    ASSERT_NO_FATAL_FAILURE(Connect());
    Device().systemInfoValue = 40;
    Device().language = "en";
    EXPECT_EQ(1, link_->OpenLink());
    EXPECT_EQ(1u, link_->noMerge);
    EXPECT_EQ(1u, link_->familyNameFirst);
}

// A device that cannot give its system information counts as an old model.
TEST_F(LinkTest, UnreadableSystemInformationMeansNoMerge) {
    image_.FailCall("S_DVXGetSystemInfo", 1, kInjectedError, false);
    ASSERT_NO_FATAL_FAILURE(UseImage());
    EXPECT_EQ(1, link_->OpenLink());
    EXPECT_EQ(1u, link_->noMerge);
    EXPECT_EQ(0u, link_->familyNameFirst);
}

// CloseLink from every state: it succeeds, ends closed and closes only what
// is open; a failing configuration does not stop it.
TEST_F(LinkTest, CloseLinkClosesWhatIsOpen) {
    enum State { kClosed, kPortOnly, kConnected, kConnectedFailingConfig };
    const struct {
        State state;
        uint32_t closeConnection, closePort;
    } cases[] = {{kClosed, 0, 0}, {kPortOnly, 0, 1}, {kConnected, 1, 1}, {kConnectedFailingConfig, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        image_ = tethra_sim::EmptyImage();
        image_.attached = c.state != kPortOnly;
        ASSERT_NO_FATAL_FAILURE(UseImage());
        if (c.state != kClosed) {
            EXPECT_EQ(c.state == kPortOnly ? 0 : 1, link_->OpenLink());
        }
        if (c.state == kConnectedFailingConfig) Device().FailCall("S_DVXSetConfig", 1, kInjectedError, false);
        for (const char* operation : {"S_DVXGetConfig", "S_DVXSetConfig", "S_DVXCloseConnection", "S_DVXClosePort"})
            CountCalls(operation);
        EXPECT_EQ(1, link_->CloseLink());
        EXPECT_EQ(0u, link_->linkState);
        EXPECT_EQ(c.closeConnection, Calls("S_DVXCloseConnection"));
        EXPECT_EQ(c.closePort, Calls("S_DVXClosePort"));
        if (c.state == kClosed) {
            EXPECT_EQ(1u, Calls("S_DVXGetConfig"));
            EXPECT_EQ(0u, Calls("S_DVXSetConfig")) << "reading the configuration of a closed port fails";
            EXPECT_EQ(kErrPortNotOpen, link_->GetLastError());
        }
    }
}

TEST_F(LinkTest, CloseLinkSetsTimeoutsTo1500) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(1, link_->CloseLink());
    // The device keeps its configuration; open the port behind the link's back to read it.
    ASSERT_EQ(1, link_->tethra.S_DVXOpenPort("", 0));
    _tagDVXCONF config;
    ASSERT_EQ(1, link_->tethra.S_DVXGetConfig(&config));
    EXPECT_EQ(1500u, ConfigWord(config, 8));
    EXPECT_EQ(1500u, ConfigWord(config, 12));
}

TEST_F(LinkTest, PlainOperationsPassFailuresThrough) {
    ASSERT_NO_FATAL_FAILURE(UseImage());
    EXPECT_EQ(0, link_->SetSyncTime("20240229235958"));
    EXPECT_EQ(kErrPortNotOpen, link_->GetLastError());
    EXPECT_EQ(1, link_->RevokeSyncContract()) << "revoking reports success whatever the device says";
    EXPECT_EQ(kErrPortNotOpen, link_->GetLastError());
    EXPECT_EQ(0, link_->OpenDataBase("C:\\QtDBTemp"));
}

// The bulk write is asked of the device database itself, merged or not.
TEST_F(LinkTest, IsEnablePutFirstSyncRecordDataIsNotMerged) {
    image_.Find(16)->firstSyncPutAllowed = false;
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(link_->IsMergedDatabase(16));
    EXPECT_EQ(0, link_->IsEnablePutFirstSyncRecordData(16));
    EXPECT_EQ(1, link_->IsEnablePutFirstSyncRecordData(15));
    EXPECT_NE(0, link_->IsEnablePutFirstSyncRecordData(6));
}

}  // namespace
}  // namespace link_testing
