// The last-error code, its helpers, and the frame exports enter.
#include "app/morvane_app.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

using testing_support::Sandbox;

TEST(ErrorHelpers, SetLastErrorCodeTracesAndSets) {
    Sandbox sandbox;
    SetLastErrorCode(kErrorOutOfMemory);
    EXPECT_EQ(theApp.lastErrorCode, 0x10000004u);
    SetLastErrorCode(0xAB);
    EXPECT_EQ(theApp.lastErrorCode, 0xABu);
    EXPECT_EQ(sandbox.DebugOutput(),
              "***** ***** Manually setting Quenda Error: 10000004\n"
              "***** ***** Manually setting Quenda Error: 000000ab\n");
}

TEST(ErrorHelpers, ClearLastErrorIsSilent) {
    Sandbox sandbox;
    theApp.lastErrorCode = kErrorDatabaseMissing;
    ClearLastError();
    EXPECT_EQ(theApp.lastErrorCode, 0u);
    EXPECT_EQ(sandbox.DebugOutput(), "");
}

TEST(CallFrame, ClearingOrKeepingExportTracesItsLine) {
    Sandbox sandbox;
    theApp.lastErrorCode = 0x10000123u;
    EnterExport(ClearMode::kKeep, "***** DIZ_API_BeginImport()\n");
    EXPECT_EQ(theApp.lastErrorCode, 0x10000123u);
    EnterExport(ClearMode::kClear, "***** DIZ_API_CloseDatabase(%d)\n", 3);
    EXPECT_EQ(theApp.lastErrorCode, 0u);
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_BeginImport()\n***** DIZ_API_CloseDatabase(3)\n");
}
