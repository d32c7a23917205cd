#include <cstring>

#include "dib_pixels.h"
#include "pattern_dib.h"
#include "twain_test_support.h"

using Lines = std::vector<std::string>;

namespace {

const std::string kEvent = "ds CONTROL/EVENT/PROCESSEVENT";
const std::string kStatus = "ds CONTROL/STATUS/GET";
const std::string kInfo = "ds IMAGE/IMAGEINFO/GET";
const std::string kNative = "ds IMAGE/IMAGENATIVEXFER/GET";
const std::string kEnd = "ds CONTROL/PENDINGXFERS/ENDXFER";
const std::string kReset = "ds CONTROL/PENDINGXFERS/RESET";

// One image, start to end: information, native transfer (its answer is not
// success, so the status follows), end of transfer.
Lines OneImage() { return {kInfo, kNative, kStatus, kEnd}; }

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

void AddImage(unsigned char tag, TW_UINT16 outcome, TW_UINT16 pendingAfter) {
    const std::vector<unsigned char> dib = SampleDib(tag);
    FakeTwain_AddImage(dib.data(), static_cast<UINT>(dib.size()), outcome, pendingAfter);
}

}  // namespace

// An enabled source "Scanner A" with the image hook installed.
class AcquisitionTest : public TwainTest {
protected:
    void Enable() {
        OpenScannerA();
        Agent().SetImageHook(RecordImage);
        Agent().SetShowUI(false);
        ASSERT_TRUE(Agent().AcquireWithSettings(1));
        FakeTwain_ClearRequests();
    }

    // Posts the notification and delivers it through the real queue.
    TW_UINT16 Notify(TW_UINT16 posted, bool expectHandled = true) {
        FakeTwain_PostNotification(posted);
        bool handled = false;
        TW_UINT16 notification = 0xBEEF;
        EXPECT_TRUE(DeliverNotification(&handled, &notification));
        EXPECT_EQ(handled, expectHandled);
        return notification;
    }

    std::vector<unsigned char> Pixels() {
        std::vector<unsigned char> tags;
        for (const DeliveredImage& image : g_delivered) tags.push_back(image.bytes[40]);
        return tags;
    }
};

TEST_F(AcquisitionTest, BeginningSetsTheCountAndEnablesTheSource) {
    OpenScannerA();
    Agent().SetShowUI(false);

    ASSERT_TRUE(Agent().AcquireWithSettings(3));

    EXPECT_EQ(Sent(), (Lines{"ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 3",
                             "ds CONTROL/USERINTERFACE/ENABLEDS"}));
    EXPECT_EQ(Recorded()[1].showUI, FALSE);
    EXPECT_TRUE(Agent().IsSourceEnabled());
}

// With no source chosen yet, the default is looked up by name first: Wine's
// manager would hand an empty identity on to the source, which refuses it.
TEST_F(AcquisitionTest, BeginningWithoutAChosenSourceOpensTheDefaultByItsIdentity) {
    InstallTwoSources();
    FakeTwain_AddSource("Scanner C", 9, TRUE);
    FakeTwain_SetFault(FAKE_TWAIN_FAULT_REFUSE_EMPTY_OPEN, TRUE);
    ScanAgent& agent = Agent();
    FakeTwain_ClearRequests();

    ASSERT_TRUE(agent.AcquireWithSettings(-1));

    EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/GETDEFAULT", "dsm CONTROL/IDENTITY/OPENDS",
                             "ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 65535",
                             "ds CONTROL/USERINTERFACE/ENABLEDS"}));
    EXPECT_EQ(std::string(agent.SourceIdentity().ProductName), "Scanner C");
    EXPECT_EQ(Recorded()[3].showUI, TRUE);
}

TEST_F(AcquisitionTest, BeginningOpensAChosenSourceWithoutAskingForTheDefault) {
    struct Case {
        const char* name;
        void (*choose)(ScanAgent&);
        const char* opened;
    };
    const Case cases[] = {
        {"selected by name, closed since",
         [](ScanAgent& agent) {
             agent.OpenSourceByName("Scanner B");
             agent.CloseDataSource();
         },
         "Scanner B"},
        {"default picked", [](ScanAgent& agent) { agent.PickDefaultSource(); }, "Scanner A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTwain_Reset();
        agent_.reset();
        InstallTwoSources();
        c.choose(Agent());
        FakeTwain_ClearRequests();

        ASSERT_TRUE(Agent().AcquireWithSettings(1));

        EXPECT_EQ(Sent().front(), "dsm CONTROL/IDENTITY/OPENDS");
        EXPECT_EQ(std::string(Agent().SourceIdentity().ProductName), c.opened);
    }
}

// A manager that names no default may still open one for the empty identity.
TEST_F(AcquisitionTest, BeginningFallsBackToTheEmptyIdentityWhenNoDefaultIsNamed) {
    InstallTwoSources();
    ScanAgent& agent = Agent();
    FakeTwain_ClearRequests();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, FAKE_TWAIN_ANY_CAP, TWRC_FAILURE,
                         TWCC_NODS);

    ASSERT_TRUE(agent.AcquireWithSettings(1));

    EXPECT_EQ(Sent(),
              (Lines{"dsm CONTROL/IDENTITY/GETDEFAULT", "dsm CONTROL/STATUS/GET",
                     "dsm CONTROL/IDENTITY/OPENDS", "ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 1",
                     "ds CONTROL/USERINTERFACE/ENABLEDS"}));
    EXPECT_EQ(std::string(agent.SourceIdentity().ProductName), "Scanner A");
}

TEST_F(AcquisitionTest, BeginningStopsAtTheFirstRefusal) {
    InstallTwoSources();
    ScanAgent& agent = Agent();
    FakeTwain_ClearRequests();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, FAKE_TWAIN_ANY_CAP, TWRC_FAILURE,
                         TWCC_NODS);
    EXPECT_FALSE(agent.AcquireWithSettings(1));
    EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/GETDEFAULT", "dsm CONTROL/IDENTITY/OPENDS",
                             "dsm CONTROL/STATUS/GET"}));

    FakeTwain_ClearRequests();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_CAPABILITY, MSG_SET, CAP_XFERCOUNT, TWRC_FAILURE,
                         TWCC_BADVALUE);
    EXPECT_FALSE(agent.AcquireWithSettings(1));
    EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/OPENDS",
                             "ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 1", kStatus}));
    EXPECT_FALSE(agent.IsSourceEnabled());
}

TEST_F(AcquisitionTest, ReadyTransfersEveryPendingImageInOneGo) {
    AddImage(1, TWRC_XFERDONE, 1);
    AddImage(2, TWRC_XFERDONE, 0);
    Enable();

    EXPECT_EQ(Notify(MSG_XFERREADY), MSG_XFERREADY);

    // The event was the source's: the status query follows TWRC_DSEVENT too.
    EXPECT_EQ(Sent(), Join({{kEvent, kStatus}, OneImage(), OneImage()}));
    EXPECT_EQ(Pixels(), (std::vector<unsigned char>{1, 2}));
    for (const DeliveredImage& image : g_delivered) {
        EXPECT_GE(image.blockSize, SampleDib(0).size());
        EXPECT_EQ(std::vector<unsigned char>(image.bytes.begin(), image.bytes.begin() + 44),
                  SampleDib(image.bytes[40]));
    }
    // Every image freed after its delivery; the source is back to enabled.
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
    EXPECT_EQ(FakeTwain_State(), 5u);
}

TEST_F(AcquisitionTest, AnUnstatedNumberOfImagesKeepsGoingUntilTheSourceHasNoMore) {
    AddImage(1, TWRC_XFERDONE, 0xFFFF);
    AddImage(2, TWRC_XFERDONE, 0xFFFF);
    Enable();

    Notify(MSG_XFERREADY);

    // Without more images the information request fails; the loop releases
    // what the source still holds and ends.
    EXPECT_EQ(Sent(), Join({{kEvent, kStatus}, OneImage(), OneImage(), {kInfo, kStatus, kReset}}));
    EXPECT_EQ(Pixels(), (std::vector<unsigned char>{1, 2}));
    EXPECT_EQ(FakeTwain_State(), 5u);
}

TEST_F(AcquisitionTest, ACancelledImageEndsItsTransferAndDeliversNothing) {
    AddImage(1, TWRC_CANCEL, 1);
    AddImage(2, TWRC_XFERDONE, 0);
    Enable();

    Notify(MSG_XFERREADY);

    EXPECT_EQ(Sent(), Join({{kEvent, kStatus}, OneImage(), OneImage()}));
    EXPECT_EQ(Pixels(), (std::vector<unsigned char>{2}));
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
}

TEST_F(AcquisitionTest, AFailedTransferResetsThePendingImages) {
    AddImage(1, TWRC_FAILURE, 1);
    AddImage(2, TWRC_XFERDONE, 0);
    Enable();

    Notify(MSG_XFERREADY);

    EXPECT_EQ(Sent(), (Lines{kEvent, kStatus, kInfo, kNative, kStatus, kReset}));
    EXPECT_TRUE(g_delivered.empty());
    EXPECT_EQ(FakeTwain_State(), 5u);
}

TEST_F(AcquisitionTest, AFailingEndOfTransferEndsTheLoop) {
    AddImage(1, TWRC_XFERDONE, 1);
    AddImage(2, TWRC_XFERDONE, 0);
    Enable();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, FAKE_TWAIN_ANY_CAP,
                         TWRC_FAILURE, TWCC_SEQERROR);

    Notify(MSG_XFERREADY);

    EXPECT_EQ(Sent(), Join({{kEvent, kStatus}, OneImage(), {kStatus}}));
    EXPECT_EQ(Pixels(), (std::vector<unsigned char>{1}));
}

TEST_F(AcquisitionTest, WithoutAHookImagesAreFreedUndelivered) {
    AddImage(1, TWRC_XFERDONE, 1);
    AddImage(2, TWRC_XFERDONE, 0);
    Enable();
    Agent().SetImageHook(nullptr);

    Notify(MSG_XFERREADY);

    EXPECT_EQ(Sent(), Join({{kEvent, kStatus}, OneImage(), OneImage()}));
    EXPECT_TRUE(g_delivered.empty());
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
}

TEST_F(AcquisitionTest, ADoneTransferWithoutAnImageDeliversNothing) {
    AddImage(1, TWRC_XFERDONE, 0);
    Enable();
    FakeTwain_SetFault(FAKE_TWAIN_FAULT_NULL_IMAGE, TRUE);

    Notify(MSG_XFERREADY);

    EXPECT_EQ(Sent(), Join({{kEvent, kStatus}, OneImage()}));
    EXPECT_TRUE(g_delivered.empty());
}

TEST_F(AcquisitionTest, TheHookIsToldTheSizeOfTheBlock) {
    // A header that claims far more pixels than the block holds.
    std::vector<unsigned char> dib = SampleDib(9);
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof(header));
    header.biWidth = 4000;
    header.biHeight = 4000;
    std::memcpy(dib.data(), &header, sizeof(header));
    FakeTwain_AddImage(dib.data(), static_cast<UINT>(dib.size()), TWRC_XFERDONE, 0);
    Enable();

    Notify(MSG_XFERREADY);

    ASSERT_EQ(g_delivered.size(), 1u);
    EXPECT_GE(g_delivered[0].blockSize, dib.size());
    EXPECT_LT(g_delivered[0].blockSize, 4000u * 4000u);
}

TEST_F(AcquisitionTest, OtherMessagesAreLeftToTheCaller) {
    Enable();
    ASSERT_TRUE(PostMessageA(window_, WM_USER + 7, 1, 2));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, window_, WM_USER + 7, WM_USER + 7, PM_REMOVE));

    TW_UINT16 notification = 0xBEEF;
    EXPECT_FALSE(Agent().FilterEvent(&message, &notification));

    EXPECT_EQ(notification, MSG_NULL);
    EXPECT_EQ(Agent().LastReturnCode(), TWRC_NOTDSEVENT);
    EXPECT_EQ(Sent(), (Lines{kEvent, kStatus}));
}

TEST_F(AcquisitionTest, ANotificationIsReportedEvenWhenTheEventIsNotClaimed) {
    Enable();
    // A source that fills in a notification but answers TWRC_NOTDSEVENT.
    FakeTwain_PushAnswer(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, FAKE_TWAIN_ANY_CAP,
                         TWRC_NOTDSEVENT, TWCC_SUCCESS);
    EXPECT_EQ(Notify(MSG_CLOSEDSOK, false), MSG_NULL);
    EXPECT_TRUE(Agent().IsSourceEnabled());
}

TEST_F(AcquisitionTest, NothingIsFilteredWhileTheSourceIsNotEnabled) {
    OpenScannerA();
    FakeTwain_PostNotification(MSG_XFERREADY);  // held back until enabled
    ASSERT_TRUE(PostMessageA(window_, WM_USER, 0, 0));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, window_, WM_USER, WM_USER, PM_REMOVE));
    TW_UINT16 notification = 0xBEEF;

    EXPECT_FALSE(Agent().FilterEvent(&message, &notification));

    EXPECT_EQ(notification, MSG_NULL);
    Agent().RunTransfers();
    EXPECT_EQ(Sent(), Lines{});
}

TEST_F(AcquisitionTest, ACloseRequestClosesTheSource) {
    Enable();

    EXPECT_EQ(Notify(MSG_CLOSEDSREQ), MSG_CLOSEDSREQ);

    EXPECT_EQ(Sent(), (Lines{kEvent, kStatus, "ds CONTROL/USERINTERFACE/DISABLEDS",
                             "dsm CONTROL/IDENTITY/CLOSEDS"}));
    EXPECT_FALSE(Agent().IsSourceOpen());
    EXPECT_FALSE(Agent().IsSourceEnabled());
    EXPECT_EQ(FakeTwain_State(), 3u);
}

TEST_F(AcquisitionTest, OtherNotificationsAreOnlyReported) {
    Enable();
    for (TW_UINT16 posted : {TW_UINT16{MSG_CLOSEDSOK}, TW_UINT16{MSG_NULL}, TW_UINT16{0x0123}}) {
        FakeTwain_ClearRequests();
        EXPECT_EQ(Notify(posted), posted);
        EXPECT_EQ(Sent(), (Lines{kEvent, kStatus}));
    }
    EXPECT_TRUE(Agent().IsSourceEnabled());
}

TEST_F(AcquisitionTest, AFailedInformationRequestEndsTheLoop) {
    AddImage(1, TWRC_XFERDONE, 1);
    Enable();
    FakeTwain_SetAnswer(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, FAKE_TWAIN_ANY_CAP, TWRC_FAILURE,
                        TWCC_BUMMER);

    Notify(MSG_XFERREADY);

    EXPECT_EQ(Sent(), (Lines{kEvent, kStatus, kInfo, kStatus, kReset}));
    EXPECT_TRUE(g_delivered.empty());
}

namespace {

ScanAgent* g_stopping = nullptr;
std::size_t g_stopAfter = 0;

// Records the image and, at the chosen one, asks the agent to stop, as a
// Java callback may do from inside the delivery.
void RecordAndStop(void* dib, std::size_t blockSize) {
    RecordImage(dib, blockSize);
    if (g_delivered.size() == g_stopAfter) g_stopping->RequestStop();
}

}  // namespace

TEST_F(AcquisitionTest, AStopEndsTheBatchAfterTheCurrentImage) {
    struct Case {
        const char* name;
        std::vector<TW_UINT16> pendingAfter;
        std::size_t stopAfter;  // 0: stopped before the source was ready
        Lines sent;
        std::vector<unsigned char> delivered;
    };
    const Case cases[] = {
        {"first of three", {2, 1, 0}, 1, Join({{kEvent, kStatus}, OneImage(), {kReset}}), {1}},
        {"unstated number",
         {0xFFFF, 0xFFFF},
         1,
         Join({{kEvent, kStatus}, OneImage(), {kReset}}),
         {1}},
        // Nothing is left to release after the last image.
        {"last of two", {1, 0}, 2, Join({{kEvent, kStatus}, OneImage(), OneImage()}), {1, 2}},
        {"before ready", {1, 0}, 0, {kEvent, kStatus, kReset}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTwain_Reset();
        agent_.reset();
        g_delivered.clear();
        for (std::size_t i = 0; i < c.pendingAfter.size(); ++i) {
            AddImage(static_cast<unsigned char>(i + 1), TWRC_XFERDONE, c.pendingAfter[i]);
        }
        Enable();
        g_stopping = &Agent();
        g_stopAfter = c.stopAfter;
        Agent().SetImageHook(RecordAndStop);
        if (c.stopAfter == 0) Agent().RequestStop();

        Notify(MSG_XFERREADY);

        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(Pixels(), c.delivered);
        EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
        // Back to enabled, where the source can be disabled and closed.
        EXPECT_EQ(FakeTwain_State(), 5u);
        EXPECT_TRUE(Agent().StopRequested());
        Agent().ClearStopRequest();
        EXPECT_FALSE(Agent().StopRequested());
    }
}

// gphoto2.ds hands its images over as GDI bitmaps. The hook gets the same
// packed DIB a block would have held, and the bitmap is deleted, never given
// to GlobalFree; the requests are those of any image.
TEST_F(AcquisitionTest, ABitmapReachesTheHookAsThePackedDibABlockWouldHold) {
    struct Case {
        const char* name;
        std::vector<unsigned char> dib;
    };
    const Case cases[] = {
        {"24 bits, rows padded, 300 dpi", PatternDib(3, 2, 24, 11811)},
        {"8 bits with its colour table", PatternDib(5, 3, 8, 0)},
        {"4 bits", PatternDib(7, 2, 4, 0)},
        {"1 bit", PatternDib(9, 2, 1, 3937)},
        {"32 bits", PatternDib(2, 3, 32, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTwain_Reset();
        agent_.reset();
        g_delivered.clear();
        FakeTwain_AddImage(c.dib.data(), static_cast<UINT>(c.dib.size()), TWRC_XFERDONE, 0);
        FakeTwain_SetImageForm(FAKE_TWAIN_FORM_BITMAP);
        Enable();

        Notify(MSG_XFERREADY);

        EXPECT_EQ(Sent(), Join({{kEvent, kStatus}, OneImage()}));
        ASSERT_EQ(g_delivered.size(), 1u);
        EXPECT_EQ(g_delivered[0].bytes, c.dib);
        EXPECT_EQ(FakeTwain_LiveBitmaps(), 0u);
        EXPECT_EQ(FakeTwain_ForeignFrees(), 0u);
    }
}

TEST_F(AcquisitionTest, AHandleOfNoKnownKindIsSkippedAndLeftAlone) {
    AddImage(1, TWRC_XFERDONE, 3);
    AddImage(2, TWRC_XFERDONE, 2);
    FakeTwain_SetImageForm(FAKE_TWAIN_FORM_FOREIGN);
    AddImage(3, TWRC_XFERDONE, 1);
    FakeTwain_SetImageForm(FAKE_TWAIN_FORM_BITMAP);
    AddImage(4, TWRC_XFERDONE, 0);
    Enable();

    Notify(MSG_XFERREADY);

    EXPECT_EQ(Sent(), Join({{kEvent, kStatus}, OneImage(), OneImage(), OneImage(), OneImage()}));
    EXPECT_EQ(Pixels(), (std::vector<unsigned char>{1, 3, 4}));
    EXPECT_EQ(FakeTwain_ForeignFrees(), 0u);
    EXPECT_EQ(FakeTwain_ForeignDeletes(), 0u);
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
    EXPECT_EQ(FakeTwain_LiveBitmaps(), 0u);
}

namespace {

struct SectionShape {
    const char* name;
    WORD bitCount;
    DWORD compression;
    DWORD masks[3];
    DWORD clrUsed;  // a short colour table; 0 for the full one
    bool topDown;
};

// A DIB section of 5 x 3 pixels in the shape, its rows filled with a pattern,
// and what each of its pixels shows.
HBITMAP DrawSection(const SectionShape& shape, Colours& drawn) {
    constexpr LONG kWidth = 5;
    constexpr LONG kHeight = 3;
    struct {
        BITMAPINFOHEADER header;
        DWORD table[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = kWidth;
    info.header.biHeight = shape.topDown ? -kHeight : kHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = shape.bitCount;
    info.header.biCompression = shape.compression;
    info.header.biClrUsed = shape.clrUsed;
    const DWORD colours =
        shape.bitCount > 8 ? 0 : (shape.clrUsed != 0 ? shape.clrUsed : 1u << shape.bitCount);
    if (shape.compression == BI_BITFIELDS) std::memcpy(info.table, shape.masks, 12);
    for (DWORD i = 0; i < colours; ++i)
        info.table[i] = (i * 37) << 16 | (255 - i * 11) << 8 | i * 5;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section) return nullptr;
    const std::size_t stride = (std::size_t(kWidth) * shape.bitCount + 31) / 32 * 4;
    auto* bytes = static_cast<unsigned char*>(bits);
    for (LONG y = 0; y < kHeight; ++y) {
        for (std::size_t i = 0; i < stride; ++i) {
            unsigned char value = static_cast<unsigned char>(y * 31 + i * 7 + 1);
            if (shape.bitCount <= 8) {
                // Every index within the table, short or full.
                unsigned char packed = 0;
                const int perByte = 8 / shape.bitCount;
                for (int k = 0; k < perByte; ++k) {
                    const unsigned index = (y * 3 + i * perByte + k) % colours;
                    packed = static_cast<unsigned char>(packed << shape.bitCount | index);
                }
                value = packed;
            }
            bytes[y * stride + i] = value;
        }
    }
    drawn = ReadColours(info.header, reinterpret_cast<unsigned char*>(info.table), bytes);
    return section;
}

}  // namespace

// A bitmap page arrives in the driver's own pixel format, bottom-up, showing
// what was drawn into it, pixel by pixel.
TEST_F(AcquisitionTest, ABitmapPageKeepsItsPixelFormatAndEveryPixel) {
    const SectionShape shapes[] = {
        {"1 bit", 1, BI_RGB, {}, 0, false},
        {"4 bits, 5 colours", 4, BI_RGB, {}, 5, false},
        {"8 bits", 8, BI_RGB, {}, 0, false},
        {"8 bits, 3 colours, top-down", 8, BI_RGB, {}, 3, true},
        {"16 bits 5-5-5", 16, BI_RGB, {}, 0, false},
        {"16 bits 5-6-5", 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, 0, false},
        {"16 bits 5-6-5, top-down", 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, 0, true},
        {"24 bits", 24, BI_RGB, {}, 0, false},
        {"24 bits, top-down", 24, BI_RGB, {}, 0, true},
        {"32 bits", 32, BI_RGB, {}, 0, false},
        {"32 bits with masks", 32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, 0, true},
    };
    for (const SectionShape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        FakeTwain_Reset();
        agent_.reset();
        g_delivered.clear();
        Colours drawn;
        const HBITMAP section = DrawSection(shape, drawn);
        ASSERT_NE(section, nullptr);
        AddImage(1, TWRC_XFERDONE, 0);
        FakeTwain_SetImageBitmap(section);
        Enable();

        Notify(MSG_XFERREADY);

        ASSERT_EQ(g_delivered.size(), 1u);
        const std::vector<unsigned char>& dib = g_delivered[0].bytes;
        BITMAPINFOHEADER header;
        std::memcpy(&header, dib.data(), sizeof header);
        EXPECT_EQ(header.biBitCount, shape.bitCount);
        EXPECT_EQ(header.biHeight, 3);
        EXPECT_EQ(header.biCompression, shape.compression);
        if (shape.compression == BI_BITFIELDS) {
            EXPECT_EQ(std::memcmp(dib.data() + sizeof header, shape.masks, 12), 0);
        }
        EXPECT_EQ(ReadPackedColours(dib), drawn);
        EXPECT_EQ(FakeTwain_LiveBitmaps(), 0u);
    }
}

// A bitmap of the display's own format, with no DIB of its own.
TEST_F(AcquisitionTest, ADeviceDependentBitmapPageShowsWhatWasDrawn) {
    const HDC screen = GetDC(nullptr);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 3);
    ASSERT_NE(bitmap, nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    Colours drawn;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const BYTE r = static_cast<BYTE>(x * 60), g = static_cast<BYTE>(y * 100),
                       b = static_cast<BYTE>(200 - x * 30);
            SetPixel(dc, x, y, RGB(r, g, b));
            drawn.push_back(std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b);
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    AddImage(1, TWRC_XFERDONE, 0);
    FakeTwain_SetImageBitmap(bitmap);
    Enable();

    Notify(MSG_XFERREADY);

    ASSERT_EQ(g_delivered.size(), 1u);
    EXPECT_EQ(ReadPackedColours(g_delivered[0].bytes), drawn);
    EXPECT_EQ(FakeTwain_LiveBitmaps(), 0u);
}

// Its memory is gone, its handle is not: freed, nothing delivered, and the
// batch goes on.
TEST_F(AcquisitionTest, ADiscardedBlockIsFreedAndTheBatchGoesOn) {
    AddImage(1, TWRC_XFERDONE, 1);
    FakeTwain_SetImageForm(FAKE_TWAIN_FORM_DISCARDED);
    AddImage(2, TWRC_XFERDONE, 0);
    Enable();

    Notify(MSG_XFERREADY);

    EXPECT_EQ(Pixels(), (std::vector<unsigned char>{2}));
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
    EXPECT_EQ(FakeTwain_ForeignFrees(), 0u);
}

namespace {

// GDI finds an object by the low word of a handle, and Wine takes a high word
// of 0 for whatever lives in that slot: with enough bitmaps alive, a small
// value (a kernel handle) names one of them. Makes bitmaps until one of the
// values does, and answers its index, or -1.
int CollideWithABitmap(const std::vector<HANDLE>& values, std::vector<HBITMAP>& bitmaps,
                       std::size_t limit) {
    while (bitmaps.size() < limit) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (GetObjectType(values[i]) == OBJ_BITMAP) return static_cast<int>(i);
        }
        bitmaps.push_back(CreateBitmap(1, 1, 1, 1, nullptr));
    }
    return -1;
}

HBITMAP BitmapInSlotOf(HANDLE value, const std::vector<HBITMAP>& bitmaps) {
    for (HBITMAP bitmap : bitmaps) {
        if (LOWORD(reinterpret_cast<UINT_PTR>(bitmap)) == LOWORD(reinterpret_cast<UINT_PTR>(value)))
            return bitmap;
    }
    return nullptr;
}

}  // namespace

// A kernel handle handed over as a page, in the slot of a live bitmap of
// someone else's: neither read as a page nor deleted, and the bitmap lives on.
TEST_F(AcquisitionTest, AKernelHandleNamingALiveBitmapIsLeftAlone) {
    std::vector<HANDLE> events;
    for (int i = 0; i < 16; ++i) events.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<HBITMAP> bitmaps;
    const int colliding = CollideWithABitmap(events, bitmaps, 8000);
    ASSERT_GE(colliding, 0) << "no event handle named a live bitmap";
    const HANDLE event = events[colliding];
    const HBITMAP owner = BitmapInSlotOf(event, bitmaps);
    ASSERT_NE(owner, nullptr);

    AddImage(1, TWRC_XFERDONE, 1);
    FakeTwain_SetImageHandle(event);
    AddImage(2, TWRC_XFERDONE, 0);
    Enable();
    Notify(MSG_XFERREADY);

    EXPECT_EQ(Pixels(), (std::vector<unsigned char>{2}));
    EXPECT_EQ(FakeTwain_ForeignDeletes(), 0u);
    EXPECT_EQ(FakeTwain_ForeignFrees(), 0u);
    EXPECT_EQ(GetObjectType(owner), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_TRUE(SetEvent(event));
    for (HBITMAP bitmap : bitmaps) DeleteObject(bitmap);
    for (HANDLE e : events) CloseHandle(e);
}
