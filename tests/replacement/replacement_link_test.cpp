// The adapter imports the device link library by name only: another build
// of the same contract, placed beside it, serves without rebuilding it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/adapter_library.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;
using testing_support::AdapterLibrary;
using testing_support::Sandbox;

TEST(ReplacementLink, AdapterRunsOnAnotherBuildOfTheContract) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 1);
    // The adapter finds its device link library in its own folder, as a
    // DLL finds TETHRA.dll: copy it next to the replacement build.
    const fs::path folder = fs::path(sandbox.root()) / "adapter";
    fs::create_directories(folder);
    fs::copy_file(AdapterLibrary::DefaultPath(), folder / "libmorvane.so");
    fs::copy_file(fs::path(MORVANE_BIN_DIR) / "replacement" / "libtethra.so", folder / "libtethra.so");

    AdapterLibrary adapter((folder / "libmorvane.so").string());
    ASSERT_TRUE(adapter.Loaded());
    ASSERT_NE(adapter->DIZ_API_Initialize, nullptr);

    EXPECT_EQ(adapter->DIZ_API_Initialize("host", "device"), -2);
    uint32_t code = 0;
    adapter->DIZ_API_GetLastErrorCode(&code);
    EXPECT_EQ(code, 0x1234ABCDu);  // only the replacement reports this code
    EXPECT_EQ(adapter->DIZ_API_GetConnectErrorStatus(), 1u);
    EXPECT_NE(sandbox.TraceLog().find("QPC_Open failed.\r\n"), std::string::npos);
}
