#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_twain.h"
#include "scan_agent.h"

// One recorded request in a line a TWAIN log reader would recognise, e.g.
// "ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 65535": "dsm" for requests to
// the manager, "ds" for those to the source.
std::string Describe(const FakeTwainRequest& request);

// Every request recorded since the last ClearRequests, described.
std::vector<std::string> Sent();
std::vector<FakeTwainRequest> Recorded();

// A small packed DIB: 1x1, 24 bits, one padded row. tag marks its pixel.
std::vector<unsigned char> SampleDib(unsigned char tag);

// The images the hook received, with the block sizes it was told.
struct DeliveredImage {
    std::vector<unsigned char> bytes;
    std::size_t blockSize;
};
extern std::vector<DeliveredImage> g_delivered;
void RecordImage(void* dib, std::size_t blockSize);

// A clean test manager and a real hidden parent window on this thread.
class TwainTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The agent under test, created on first use with the window as parent.
    ScanAgent& Agent();
    // An installed source "Scanner A" (the default) and "Scanner B".
    void InstallTwoSources();
    // Opens "Scanner A" and forgets the requests that took.
    void OpenScannerA();

    // Takes the test manager's next notification from the real message queue
    // and hands it to FilterEvent, as the scan pump does. Answers false when
    // no such message was queued.
    bool DeliverNotification(bool* handled, TW_UINT16* notification);

    HWND window_ = nullptr;
    std::unique_ptr<ScanAgent> agent_;
};
