// The library's one device link and the helper that copies its error code.
#include "app/morvane_app.h"
#include "device/simulator.h"
#include "link/device_link.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

using testing_support::Sandbox;

// The link's error, whatever it is, is copied and traced; asking again
// does not clear the device's code.
TEST(CaptureDeviceError, CopiesTheDeviceCodeAndTracesIt) {
    Sandbox sandbox;
    theApp.lastErrorCode = 0x1234;
    ASSERT_EQ(0, g_link.SetSyncTime("20240101000000")) << "the port is not open";
    CaptureDeviceError();
    EXPECT_EQ(tethra_sim::kErrPortNotOpen, theApp.lastErrorCode);
    tethra_sim::DeviceImage* device = tethra_sim::LiveDevice();
    ASSERT_NE(nullptr, device);
    device->FailCall("S_DVXGetSyncTime", 1, 0xABCDEF01u, false);
    char time[14];
    ASSERT_EQ(0, g_link.GetSyncTime(time, sizeof time));
    CaptureDeviceError();
    CaptureDeviceError();
    EXPECT_EQ(0xABCDEF01u, theApp.lastErrorCode);
    EXPECT_EQ("***** ***** Last Quenda Error: 10000003\n"
              "***** ***** Last Quenda Error: abcdef01\n"
              "***** ***** Last Quenda Error: abcdef01\n",
              sandbox.DebugOutput());
}
