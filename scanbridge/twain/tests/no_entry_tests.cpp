// Run beside a TWAIN_32.DLL that has no export at ordinal 1.

#include <gtest/gtest.h>

#include "scan_agent.h"

TEST(NoEntryTest, TheLibraryIsFreedAgainAndNothingWorks) {
    HWND window = CreateWindowExA(0, "STATIC", "no entry", WS_POPUPWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    ScanAgent agent(window);

    EXPECT_FALSE(agent.IsDriverLoaded());
    EXPECT_EQ(GetModuleHandleA("TWAIN_32.DLL"), nullptr);
    EXPECT_EQ(agent.ListSourceNames(), std::string(1, '\0'));
    EXPECT_FALSE(agent.PickDefaultSource());
    EXPECT_EQ(agent.LastReturnCode(), TWRC_FAILURE);
    EXPECT_FALSE(agent.AcquireWithSettings(1));
    DestroyWindow(window);

    // The library really is there and loadable; it just is no manager.
    HMODULE library = LoadLibraryA("TWAIN_32.DLL");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(1)), nullptr);
    FreeLibrary(library);
}
