// The last-error code and its helpers.
#include "app/morvane_app.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

using testing_support::Sandbox;

TEST(ErrorHelpers, SetLastErrorCodeTracesAndSetsClearingIsSilent) {
    Sandbox sandbox;
    SetLastErrorCode(kErrorOutOfMemory);
    EXPECT_EQ(theApp.lastErrorCode, 0x10000004u);
    SetLastErrorCode(0xAB);
    EXPECT_EQ(theApp.lastErrorCode, 0xABu);
    ClearLastError();
    EXPECT_EQ(theApp.lastErrorCode, 0u);
    EXPECT_EQ(sandbox.DebugOutput(),
              "***** ***** Manually setting Quenda Error: 10000004\n"
              "***** ***** Manually setting Quenda Error: 000000ab\n");
}
