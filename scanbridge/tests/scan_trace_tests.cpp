// The trace that SCANBRIDGE_TRACE asks for, read after real scans against
// the test manager: the requests it shows are the ones the manager
// received, in their order and with their answers, and a path that cannot
// be written changes nothing else.

#include <cstdio>

#include "scan_fixture.h"
#include "trace_reader.h"

namespace {

class ScanTrace : public ScanEndToEnd {
protected:
    void TearDown() override {
        SetEnvironmentVariableA("SCANBRIDGE_TRACE", nullptr);
        ScanEndToEnd::TearDown();
    }

    // Select, set up and scan two pages, then release the library, so that
    // its last requests are in too.
    void ScanTwoPagesAndRelease() {
        EXPECT_EQ(Dll().selectSource(jvm_.Env(), jvm_.Scan(), jvm_.NewString(u"Beta")), JNI_TRUE);
        EXPECT_EQ(Dll().setDPI(jvm_.Env(), jvm_.Scan(), 0, 300), JNI_FALSE);
        EXPECT_EQ(Dll().setDPI(jvm_.Env(), jvm_.Scan(), 300, 300), JNI_TRUE);
        EXPECT_EQ(Dll().setPixelType(jvm_.Env(), jvm_.Scan(), 2), JNI_TRUE);
        AddPage(1, 1);
        AddPage(2, 0);
        FakeTwain_PostNotification(MSG_XFERREADY);
        EXPECT_EQ(Scan(2), JNI_TRUE);
        dll_.reset();
    }

    // What the manager received, as the trace shows it: every request but
    // the status queries, which the trace folds into the line they follow,
    // and the events the source did not claim.
    static std::vector<std::string> Received() {
        std::vector<std::string> received;
        for (UINT i = 0; i < FakeTwain_RequestCount(); ++i) {
            FakeTwainRequest r;
            FakeTwain_GetRequest(i, &r);
            if (r.dat == DAT_STATUS) continue;
            if (r.msg == MSG_PROCESSEVENT && r.returnCode == TWRC_NOTDSEVENT) continue;
            received.push_back(std::to_string(r.dat) + "/" + std::to_string(r.msg) + " " +
                               std::to_string(r.returnCode));
        }
        return received;
    }

    static std::vector<std::string> Traced(const std::vector<TracedRequest>& requests) {
        std::vector<std::string> traced;
        for (const TracedRequest& r : requests) {
            traced.push_back(std::to_string(r.dat) + "/" + std::to_string(r.msg) + " " +
                             std::to_string(r.returnCode));
        }
        return traced;
    }
};

TEST_F(ScanTrace, ShowsTheRequestsTheManagerReceivedInOrderWithTheirAnswers) {
    const std::string path = FreshTracePath("scan_trace_requests.txt");
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", path.c_str());
    FakeTwain_ClearRequests();

    ScanTwoPagesAndRelease();

    const std::vector<std::string> lines = TraceLines(path);
    const std::vector<TracedRequest> requests = TracedRequests(lines);
    EXPECT_EQ(Traced(requests), Received());
    for (const TracedRequest& r : requests) EXPECT_EQ(r.side, "bridge") << r.line;
    const auto has = [&](const std::string& text) {
        for (const TracedRequest& r : requests) {
            if (r.line.find(text) != std::string::npos) return true;
        }
        return false;
    };
    EXPECT_TRUE(
        has("twain DG_CONTROL/DAT_IDENTITY/MSG_OPENDS (1/3/1025) to manager: \"Beta\" "
            "-> TWRC_SUCCESS(0)"));
    EXPECT_TRUE(
        has("DAT_CAPABILITY/MSG_SET (1/1/6) to source \"Beta\": ICAP_XRESOLUTION(4376) "
            "TWON_ONEVALUE(5) TWTY_UINT16(4) 300 -> TWRC_SUCCESS(0)"));
    EXPECT_TRUE(
        has("DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET (2/260/1) to source \"Beta\" -> "
            "TWRC_XFERDONE(6), condition"));

    EXPECT_EQ(
        TracedOf(lines, "image"),
        (std::vector<std::string>{"image global block, 3 x 2, 24 bits, 64 bytes, handed over",
                                  "image global block, 3 x 2, 24 bits, 64 bytes, handed over"}));
    std::vector<std::string> callbacks;
    for (const std::string& line : TracedOf(lines, "callback"))
        callbacks.push_back(line.substr(0, line.find(' ', 9)));
    EXPECT_EQ(callbacks,
              (std::vector<std::string>{"callback fireStartScanning", "callback fireNewImage",
                                        "callback fireNewImage", "callback fireStopScanning"}));
    EXPECT_EQ(
        TracedOf(lines, "native"),
        (std::vector<std::string>{"native selectSource(\"Beta\") -> true",
                                  "native setDPI(0, 300) refused: resolution out of range",
                                  "native setDPI(300, 300) -> true",
                                  "native setPixelType(2) -> true", "native scan(2) -> true"}));
    // Nothing of the pages themselves.
    for (const std::string& line : lines) EXPECT_LT(line.size(), 400u) << line;
}

TEST_F(ScanTrace, AFailingCapabilityShowsItsConditionCode) {
    const std::string path = FreshTracePath("scan_trace_failure.txt");
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", path.c_str());
    FakeTwain_SetAnswer(DG_CONTROL, DAT_CAPABILITY, MSG_SET, ICAP_XRESOLUTION, TWRC_FAILURE,
                        TWCC_BADVALUE);
    EXPECT_EQ(Dll().selectSource(jvm_.Env(), jvm_.Scan(), jvm_.NewString(u"Beta")), JNI_TRUE);
    EXPECT_EQ(Dll().setDPI(jvm_.Env(), jvm_.Scan(), 300, 300), JNI_FALSE);
    dll_.reset();

    bool seen = false;
    for (const TracedRequest& r : TracedRequests(TraceLines(path))) {
        seen |= r.line.find(
                    "ICAP_XRESOLUTION(4376) TWON_ONEVALUE(5) TWTY_UINT16(4) 300 -> "
                    "TWRC_FAILURE(1), condition TWCC_BADVALUE(10)") != std::string::npos;
    }
    EXPECT_TRUE(seen);
}

TEST_F(ScanTrace, AFullTraceSaysSoOnceAndGrowsNoFurther) {
    const std::string path = FreshTracePath("scan_trace_full.txt");
    {
        // A trace a few lines short of its bound of 10 MB.
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        const std::string filler(1000, 'x');
        for (int i = 0; i < 10 * 1024 * 1024 / 1000 - 1; ++i) std::fputs(filler.c_str(), file);
        std::fclose(file);
    }
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", path.c_str());
    FakeTwain_ClearRequests();
    ScanTwoPagesAndRelease();
    EXPECT_EQ(jvm_.pages.size(), 2u) << "the bound changes nothing else";

    const std::vector<std::string> lines = TraceLines(path);
    int notices = 0;
    for (const std::string& line : lines)
        notices += line.find("trace: the file reached its bound of 10 MB") != std::string::npos;
    EXPECT_EQ(notices, 1);
    EXPECT_NE(lines.back().find("trace: the file reached its bound"), std::string::npos);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_LE(data.nFileSizeLow, 10u * 1024 * 1024);
    DeleteFileA(path.c_str());
}

TEST_F(ScanTrace, APathThatCannotBeOpenedChangesNothingElse) {
    FakeTwain_ClearRequests();
    ScanTwoPagesAndRelease();
    const std::vector<std::string> untraced = Conversation();
    const std::vector<std::vector<unsigned char>> pages = jvm_.pages;
    const std::vector<std::string> calls = jvm_.calls;
    ASSERT_EQ(pages.size(), 2u);

    // Reset as the fixture does, and the same again with a path in a
    // folder that does not exist.
    FakeTwain_Reset();
    FakeTwain_AddSource("Alpha", 5, FALSE);
    FakeTwain_AddSource("Beta", 4, TRUE);
    FakeTwain_AddSource("Sk\xe9ner", 6, FALSE);
    jvm_.pages.clear();
    jvm_.calls.clear();
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", "C:\\no such folder\\trace.txt");
    ScanTwoPagesAndRelease();

    EXPECT_EQ(Conversation(), untraced);
    EXPECT_EQ(jvm_.pages, pages);
    EXPECT_EQ(jvm_.calls, calls);
}

}  // namespace
