// Run with no TWAIN_32.DLL beside the program and Wine's own one disabled:
// a machine without any TWAIN manager.

#include <gtest/gtest.h>

#include "scan_agent.h"

namespace {

int g_images = 0;
void CountImage(void*, std::size_t) { ++g_images; }

}  // namespace

TEST(NoManagerTest, EveryOperationAnswersFalse) {
    HWND window = CreateWindowExA(0, "STATIC", "no manager", WS_POPUPWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(GetModuleHandleA("TWAIN_32.DLL"), nullptr);
    {
        ScanAgent agent(window);
        agent.SetImageHook(CountImage);

        EXPECT_FALSE(agent.IsDriverLoaded());
        EXPECT_FALSE(agent.LoadManager(window));
        EXPECT_EQ(agent.ListSourceNames(), std::string(1, '\0'));
        EXPECT_FALSE(agent.OpenSourceByName("Scanner A"));
        EXPECT_FALSE(agent.PickDefaultSource());
        EXPECT_EQ(agent.LastReturnCode(), TWRC_FAILURE);
        EXPECT_FALSE(agent.OpenDataSource(nullptr));
        EXPECT_FALSE(agent.IsSourceOpen());
        EXPECT_FALSE(agent.ApplyPixelType(2));
        EXPECT_FALSE(agent.ApplyResolution(300, 300));
        EXPECT_FALSE(agent.ApplyDuplex(true));
        EXPECT_FALSE(agent.ApplyTransferCount(1));
        EXPECT_FALSE(agent.AcquireWithSettings(1));
        EXPECT_FALSE(agent.StartSource(true));
        EXPECT_FALSE(agent.StopSource());
        EXPECT_FALSE(agent.CloseDataSource());
        MSG message{};
        TW_UINT16 notification = MSG_XFERREADY;
        EXPECT_FALSE(agent.FilterEvent(&message, &notification));
        EXPECT_EQ(notification, MSG_NULL);
        agent.RunTransfers();
        agent.UnloadManager();
    }
    EXPECT_EQ(g_images, 0);
    DestroyWindow(window);
}
