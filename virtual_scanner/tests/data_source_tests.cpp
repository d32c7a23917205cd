// The virtual scanner driven directly through its DS_Entry, as a TWAIN
// manager drives it: its states, its capabilities, its transfers, its events
// and its dialog.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "data_source.h"
#include "dib_image.h"
#include "scan_dialog_ids.h"

namespace {

constexpr wchar_t kDialogCaption[] = L"Korvelo Virtual Scanner";

DataSource& Source() {
    static DataSource source;
    return source;
}

TW_UINT32 Fix32(TW_INT16 whole, TW_UINT16 fraction) {
    TW_FIX32 fix{whole, fraction};
    TW_UINT32 bits = 0;
    std::memcpy(&bits, &fix, sizeof(fix));
    return bits;
}

// An image handed over by a native transfer, owned by the test.
struct Transferred {
    TW_UINT16 result = TWRC_FAILURE;
    HGLOBAL block = nullptr;
    std::vector<unsigned char> bytes;

    ~Transferred() {
        if (block != nullptr) GlobalFree(block);
    }
};

void NativeTransfer(Transferred& image) {
    TW_HANDLE handle = nullptr;
    image.result = Source().Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    if (image.result != TWRC_XFERDONE) return;
    image.block = handle;
    const auto* locked = static_cast<const unsigned char*>(GlobalLock(handle));
    image.bytes.assign(locked, locked + GlobalSize(handle));
    GlobalUnlock(handle);
}

// Each test starts with the source open (state 4) and leaves it closed.
class DataSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Source().Loaded());
        ASSERT_EQ(Source().Open(), TWRC_SUCCESS);
    }

    void TearDown() override {
        TW_UINT16 count = 0;
        Source().Pending(MSG_RESET, count);
        Source().Disable();
        Source().Close();
        // Closed: a capability cannot even be read any more.
        TW_UINT16 type = 0;
        TW_UINT32 item = 0;
        EXPECT_EQ(Source().GetOneValue(MSG_GET, CAP_XFERCOUNT, type, item), TWRC_FAILURE)
            << "the test left the source open";
        Source().Condition();
    }

    // Enabled without its dialog, the source announces its images at once.
    void ToTransferReady() {
        ASSERT_EQ(Source().Enable(false), TWRC_SUCCESS);
        ASSERT_EQ(Source().PumpForNotification(2000), MSG_XFERREADY);
    }
};

TEST_F(DataSourceTest, IdentityNamesTheScannerAndLeavesTheIdToTheManager) {
    TW_IDENTITY identity{};
    identity.Id = 42;
    ASSERT_EQ(Source().Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
    EXPECT_EQ(identity.Id, 42u);
    EXPECT_STREQ(identity.ProductName, "Korvelo Virtual Scanner");
    EXPECT_EQ(identity.SupportedGroups & (DG_CONTROL | DG_IMAGE),
              static_cast<TW_UINT32>(DG_CONTROL | DG_IMAGE));
    EXPECT_EQ(identity.ProtocolMajor, 1);
}

// A request the state does not allow, from the state it is made in.
struct OutOfSequence {
    const char* name;
    int state;
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    TW_UINT16 condition;
};

class SequenceTest : public DataSourceTest, public ::testing::WithParamInterface<OutOfSequence> {
protected:
    TW_UINT16 Send(const OutOfSequence& request) {
        static MSG message{};
        TW_IDENTITY identity{};
        TW_USERINTERFACE ui{};
        TW_EVENT event{&message, MSG_NULL};
        TW_PENDINGXFERS pending{};
        TW_IMAGEINFO info{};
        TW_HANDLE image = nullptr;
        HGLOBAL container = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
        auto* one = static_cast<pTW_ONEVALUE>(GlobalLock(container));
        *one = TW_ONEVALUE{TWTY_INT16, 1};
        GlobalUnlock(container);
        TW_CAPABILITY capability{CAP_XFERCOUNT, TWON_ONEVALUE, container};
        TW_MEMREF data = nullptr;
        switch (request.dat) {
            case DAT_IDENTITY:
                data = &identity;
                break;
            case DAT_USERINTERFACE:
                data = &ui;
                break;
            case DAT_EVENT:
                data = &event;
                break;
            case DAT_PENDINGXFERS:
                data = &pending;
                break;
            case DAT_IMAGEINFO:
                data = &info;
                break;
            case DAT_IMAGENATIVEXFER:
                data = &image;
                break;
            default:
                data = &capability;
                break;
        }
        const TW_UINT16 result = Source().Call(request.dg, request.dat, request.msg, data);
        GlobalFree(container);
        if (result == TWRC_SUCCESS && request.msg == MSG_GET && request.dat == DAT_CAPABILITY)
            GlobalFree(capability.hContainer);
        if (result == TWRC_XFERDONE) GlobalFree(image);
        return result;
    }
};

TEST_P(SequenceTest, IsRefusedWithItsCondition) {
    const OutOfSequence& request = GetParam();
    switch (request.state) {
        case 3:
            ASSERT_EQ(Source().Close(), TWRC_SUCCESS);
            break;
        case 5:
            ASSERT_EQ(Source().Enable(false), TWRC_SUCCESS);
            break;
        case 6:
            ToTransferReady();
            break;
        case 7: {
            ToTransferReady();
            Transferred image;
            NativeTransfer(image);
            ASSERT_EQ(image.result, TWRC_XFERDONE);
            break;
        }
        default:
            break;
    }

    EXPECT_EQ(Send(request), TWRC_FAILURE);
    EXPECT_EQ(Source().Condition(), request.condition);
    // Reading the status consumed it.
    EXPECT_EQ(Source().Condition(), TWCC_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SequenceTest,
    ::testing::Values(
        OutOfSequence{"ClosedGetCapability", 3, DG_CONTROL, DAT_CAPABILITY, MSG_GET, TWCC_SEQERROR},
        OutOfSequence{"ClosedSetCapability", 3, DG_CONTROL, DAT_CAPABILITY, MSG_SET, TWCC_SEQERROR},
        OutOfSequence{"ClosedEnable", 3, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS,
                      TWCC_SEQERROR},
        OutOfSequence{"ClosedClose", 3, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, TWCC_SEQERROR},
        OutOfSequence{"ClosedPendingTransfers", 3, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET,
                      TWCC_SEQERROR},
        OutOfSequence{"OpenAgain", 4, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, TWCC_MAXCONNECTIONS},
        OutOfSequence{"OpenDisable", 4, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS,
                      TWCC_SEQERROR},
        OutOfSequence{"OpenProcessEvent", 4, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT,
                      TWCC_SEQERROR},
        OutOfSequence{"OpenImageInfo", 4, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, TWCC_SEQERROR},
        OutOfSequence{"OpenNativeTransfer", 4, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET,
                      TWCC_SEQERROR},
        OutOfSequence{"OpenEndTransfer", 4, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER,
                      TWCC_SEQERROR},
        OutOfSequence{"OpenResetTransfers", 4, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET,
                      TWCC_SEQERROR},
        OutOfSequence{"EnabledSetCapability", 5, DG_CONTROL, DAT_CAPABILITY, MSG_SET,
                      TWCC_SEQERROR},
        OutOfSequence{"EnabledResetCapability", 5, DG_CONTROL, DAT_CAPABILITY, MSG_RESET,
                      TWCC_SEQERROR},
        OutOfSequence{"EnabledEnableAgain", 5, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS,
                      TWCC_SEQERROR},
        OutOfSequence{"EnabledClose", 5, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, TWCC_SEQERROR},
        OutOfSequence{"EnabledNativeTransfer", 5, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET,
                      TWCC_SEQERROR},
        OutOfSequence{"EnabledEndTransfer", 5, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER,
                      TWCC_SEQERROR},
        OutOfSequence{"ReadyDisable", 6, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS,
                      TWCC_SEQERROR},
        OutOfSequence{"ReadyClose", 6, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, TWCC_SEQERROR},
        OutOfSequence{"ReadySetCapability", 6, DG_CONTROL, DAT_CAPABILITY, MSG_SET, TWCC_SEQERROR},
        OutOfSequence{"TransferringTransferAgain", 7, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET,
                      TWCC_SEQERROR},
        OutOfSequence{"TransferringDisable", 7, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS,
                      TWCC_SEQERROR},
        OutOfSequence{"UnknownTriplet", 4, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, TWCC_BADPROTOCOL},
        OutOfSequence{"MemoryTransfer", 6, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, TWCC_BADPROTOCOL}),
    [](const ::testing::TestParamInfo<OutOfSequence>& info) {
        return std::string(info.param.name);
    });

TEST_F(DataSourceTest, RequestWithoutItsRecordIsRefused) {
    EXPECT_EQ(Source().Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Source().Condition(), TWCC_BADVALUE);
    EXPECT_EQ(Source().Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Source().Condition(), TWCC_BADVALUE);
}

// One set request with a one-value container, and what the source holds
// afterwards (its current value as a one-value item).
struct SetCase {
    const char* name;
    TW_UINT16 cap;
    TW_UINT16 itemType;
    TW_UINT32 item;
    TW_UINT16 condition;  // TWCC_SUCCESS: accepted
    TW_UINT32 current;    // read back after an accepted one
};

class CapabilitySetTest : public DataSourceTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(CapabilitySetTest, AcceptsOnlySupportedValues) {
    const SetCase& c = GetParam();
    const TW_UINT16 result = Source().SetOneValue(c.cap, c.itemType, c.item);
    const TW_UINT16 condition = Source().Condition();
    EXPECT_EQ(condition, c.condition);
    EXPECT_EQ(result, c.condition == TWCC_SUCCESS ? TWRC_SUCCESS : TWRC_FAILURE);
    if (c.condition != TWCC_SUCCESS) return;
    TW_UINT16 type = 0;
    TW_UINT32 item = 0;
    ASSERT_EQ(Source().GetOneValue(MSG_GETCURRENT, c.cap, type, item), TWRC_SUCCESS);
    EXPECT_EQ(item, c.current);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CapabilitySetTest,
    ::testing::Values(
        SetCase{"CountThree", CAP_XFERCOUNT, TWTY_INT16, 3, TWCC_SUCCESS, 3},
        SetCase{"CountAll", CAP_XFERCOUNT, TWTY_INT16, 0xFFFF, TWCC_SUCCESS, 0xFFFF},
        // The form in which an application confirms the source's own value.
        SetCase{"CountAllUnsigned", CAP_XFERCOUNT, TWTY_UINT16, 0xFFFF, TWCC_SUCCESS, 0xFFFF},
        SetCase{"CountZero", CAP_XFERCOUNT, TWTY_INT16, 0, TWCC_BADVALUE, 0},
        SetCase{"CountMinusTwo", CAP_XFERCOUNT, TWTY_INT16, 0xFFFE, TWCC_BADVALUE, 0},
        SetCase{"BlackAndWhite", ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW, TWCC_SUCCESS, TWPT_BW},
        SetCase{"Grey", ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY, TWCC_SUCCESS, TWPT_GRAY},
        SetCase{"Palette", ICAP_PIXELTYPE, TWTY_UINT16, TWPT_PALETTE, TWCC_BADVALUE, 0},
        // Whole dots per inch in 16 bits, as the bridge sends them.
        SetCase{"Resolution300", ICAP_XRESOLUTION, TWTY_UINT16, 300, TWCC_SUCCESS, Fix32(300, 0)},
        SetCase{"ResolutionFix32", ICAP_YRESOLUTION, TWTY_FIX32, Fix32(150, 0), TWCC_SUCCESS,
                Fix32(150, 0)},
        SetCase{"ResolutionNearly600", ICAP_YRESOLUTION, TWTY_FIX32, Fix32(599, 0xC000),
                TWCC_SUCCESS, Fix32(600, 0)},
        SetCase{"Resolution301", ICAP_XRESOLUTION, TWTY_UINT16, 301, TWCC_BADVALUE, 0},
        SetCase{"Resolution1200", ICAP_YRESOLUTION, TWTY_FIX32, Fix32(1200, 0), TWCC_BADVALUE, 0},
        SetCase{"SizeA4", ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A4LETTER, TWCC_SUCCESS,
                TWSS_A4LETTER},
        SetCase{"SizeNone", ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_NONE, TWCC_BADVALUE, 0},
        SetCase{"SizeLetter", ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_USLETTER, TWCC_BADVALUE, 0},
        SetCase{"DuplexOn", CAP_DUPLEXENABLED, TWTY_BOOL, TRUE, TWCC_SUCCESS, TRUE},
        SetCase{"DuplexOff", CAP_DUPLEXENABLED, TWTY_BOOL, FALSE, TWCC_SUCCESS, FALSE},
        SetCase{"NativeTransfers", ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE, TWCC_SUCCESS,
                TWSX_NATIVE},
        SetCase{"MemoryTransfers", ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY, TWCC_BADVALUE, 0},
        SetCase{"StringItem", ICAP_PIXELTYPE, TWTY_STR32, 0, TWCC_BADVALUE, 0},
        SetCase{"ReadOnly", CAP_SUPPORTEDCAPS, TWTY_UINT16, CAP_XFERCOUNT, TWCC_CAPBADOPERATION, 0},
        SetCase{"Unsupported", ICAP_BRIGHTNESS, TWTY_FIX32, 0, TWCC_CAPUNSUPPORTED, 0}),
    [](const ::testing::TestParamInfo<SetCase>& info) { return std::string(info.param.name); });

TEST_F(DataSourceTest, SetWithAContainerOtherThanOneValueIsRefused) {
    HGLOBAL block = GlobalAlloc(GHND, sizeof(TW_ENUMERATION) + 4);
    TW_CAPABILITY capability{ICAP_PIXELTYPE, TWON_ENUMERATION, block};
    EXPECT_EQ(Source().Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability), TWRC_FAILURE);
    EXPECT_EQ(Source().Condition(), TWCC_BADVALUE);
    capability = TW_CAPABILITY{ICAP_PIXELTYPE, TWON_ONEVALUE, nullptr};
    EXPECT_EQ(Source().Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability), TWRC_FAILURE);
    EXPECT_EQ(Source().Condition(), TWCC_BADVALUE);
    GlobalFree(block);
}

TEST_F(DataSourceTest, GetOffersTheChoicesWithTheCurrentAndDefaultOne) {
    ASSERT_EQ(Source().SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS);
    TW_CAPABILITY capability{ICAP_XRESOLUTION, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(Source().Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability), TWRC_SUCCESS);
    ASSERT_EQ(capability.ConType, TWON_ENUMERATION);
    const auto* list = static_cast<const TW_ENUMERATION*>(GlobalLock(capability.hContainer));
    EXPECT_EQ(list->ItemType, TWTY_FIX32);
    std::vector<int> choices;
    for (TW_UINT32 i = 0; i < list->NumItems; ++i) {
        TW_FIX32 fix;
        std::memcpy(&fix, list->ItemList + 4 * i, 4);
        choices.push_back(fix.Whole);
    }
    EXPECT_EQ(choices, (std::vector<int>{75, 100, 150, 200, 300, 600}));
    EXPECT_EQ(choices[list->CurrentIndex], 300);
    EXPECT_EQ(choices[list->DefaultIndex], 100);
    GlobalUnlock(capability.hContainer);
    GlobalFree(capability.hContainer);

    // The list of what the source offers at all.
    capability = TW_CAPABILITY{CAP_SUPPORTEDCAPS, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(Source().Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability), TWRC_SUCCESS);
    ASSERT_EQ(capability.ConType, TWON_ARRAY);
    const auto* array = static_cast<const TW_ARRAY*>(GlobalLock(capability.hContainer));
    std::vector<TW_UINT16> caps(array->NumItems);
    std::memcpy(caps.data(), array->ItemList, 2 * caps.size());
    for (TW_UINT16 cap : {CAP_XFERCOUNT, ICAP_PIXELTYPE, ICAP_XRESOLUTION, ICAP_YRESOLUTION,
                          ICAP_SUPPORTEDSIZES, CAP_DUPLEXENABLED}) {
        EXPECT_NE(std::find(caps.begin(), caps.end(), cap), caps.end()) << cap;
    }
    GlobalUnlock(capability.hContainer);
    GlobalFree(capability.hContainer);
}

TEST_F(DataSourceTest, ResetGoesBackToTheDefaultAndOpeningStartsFromDefaults) {
    ASSERT_EQ(Source().SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
    TW_UINT16 type = 0;
    TW_UINT32 item = 0;
    ASSERT_EQ(Source().GetOneValue(MSG_RESET, ICAP_PIXELTYPE, type, item), TWRC_SUCCESS);
    EXPECT_EQ(item, static_cast<TW_UINT32>(TWPT_RGB));

    ASSERT_EQ(Source().SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
    ASSERT_EQ(Source().Close(), TWRC_SUCCESS);
    ASSERT_EQ(Source().Open(), TWRC_SUCCESS);
    ASSERT_EQ(Source().GetOneValue(MSG_GET, CAP_XFERCOUNT, type, item), TWRC_SUCCESS);
    EXPECT_EQ(type, TWTY_INT16);
    EXPECT_EQ(item, 0xFFFFu);

    ASSERT_EQ(Source().GetOneValue(MSG_QUERYSUPPORT, CAP_DUPLEX, type, item), TWRC_SUCCESS);
    EXPECT_EQ(item, static_cast<TW_UINT32>(TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT));
}

// What one acquisition delivers for a transfer count and duplex.
struct FeedCase {
    const char* name;
    int count;  // 0: left at the source's default
    bool duplex;
    std::vector<PageFace> faces;
};

class TransferTest : public DataSourceTest, public ::testing::WithParamInterface<FeedCase> {};

TEST_P(TransferTest, DeliversEachPendingImageOnce) {
    const FeedCase& c = GetParam();
    if (c.count != 0) {
        ASSERT_EQ(Source().SetOneValue(CAP_XFERCOUNT, TWTY_INT16, c.count & 0xFFFF), TWRC_SUCCESS);
    }
    ASSERT_EQ(Source().SetOneValue(CAP_DUPLEXENABLED, TWTY_BOOL, c.duplex), TWRC_SUCCESS);
    ToTransferReady();
    TW_UINT16 count = 0;
    ASSERT_EQ(Source().Pending(MSG_GET, count), TWRC_SUCCESS);
    EXPECT_EQ(count, c.faces.size());

    for (std::size_t i = 0; i < c.faces.size(); ++i) {
        SCOPED_TRACE("image " + std::to_string(i + 1));
        Transferred image;
        NativeTransfer(image);
        ASSERT_EQ(image.result, TWRC_XFERDONE);
        DibImage dib;
        ASSERT_EQ(ReadDib(image.bytes.data(), image.bytes.size(), dib), "");
        EXPECT_EQ(CompareWithPattern(dib, c.faces[i]), "");
        ASSERT_EQ(Source().Pending(MSG_ENDXFER, count), TWRC_SUCCESS);
        EXPECT_EQ(count, c.faces.size() - i - 1);
    }
    // Back in state 5: no more images, and the source can be disabled.
    TW_IMAGEINFO info{};
    EXPECT_EQ(Source().Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
    EXPECT_EQ(Source().Condition(), TWCC_SEQERROR);
    EXPECT_EQ(Source().Disable(), TWRC_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Feeds, TransferTest,
    ::testing::Values(
        FeedCase{"One", 1, false, {{1, 1, false}}},
        FeedCase{
            "DefaultIsTheWholeFeeder", 0, false, {{1, 1, false}, {2, 2, false}, {3, 3, false}}},
        FeedCase{"FiveSheets",
                 5,
                 false,
                 {{1, 1, false}, {2, 2, false}, {3, 3, false}, {4, 4, false}, {5, 5, false}}},
        FeedCase{"DuplexWholeFeeder",
                 -1,
                 true,
                 {{1, 1, false},
                  {2, 1, true},
                  {3, 2, false},
                  {4, 2, true},
                  {5, 3, false},
                  {6, 3, true}}},
        FeedCase{"DuplexCountsSides", 3, true, {{1, 1, false}, {2, 1, true}, {3, 2, false}}}),
    [](const ::testing::TestParamInfo<FeedCase>& info) { return std::string(info.param.name); });

// The image information and the DIB of one pixel type agree with each other.
struct FormatCase {
    const char* name;
    TW_UINT16 pixelType;
    TW_INT16 samples;
    TW_INT16 bitsPerSample;
    TW_INT16 bitsPerPixel;
    std::size_t paletteSize;
};

class ImageFormatTest : public DataSourceTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(ImageFormatTest, InformationAgreesWithTheDib) {
    const FormatCase& c = GetParam();
    ASSERT_EQ(Source().SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, c.pixelType), TWRC_SUCCESS);
    ASSERT_EQ(Source().SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 200), TWRC_SUCCESS);
    ASSERT_EQ(Source().SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 150), TWRC_SUCCESS);
    ASSERT_EQ(Source().SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 1), TWRC_SUCCESS);
    ToTransferReady();

    TW_IMAGEINFO info{};
    ASSERT_EQ(Source().Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.XResolution.Whole, 200);
    EXPECT_EQ(info.YResolution.Whole, 150);
    EXPECT_EQ(info.ImageWidth, 1654);   // A4: 210 mm at 200 dpi
    EXPECT_EQ(info.ImageLength, 1754);  // 297 mm at 150 dpi
    EXPECT_EQ(info.SamplesPerPixel, c.samples);
    for (int sample = 0; sample < c.samples; ++sample)
        EXPECT_EQ(info.BitsPerSample[sample], c.bitsPerSample);
    EXPECT_EQ(info.BitsPerPixel, c.bitsPerPixel);
    EXPECT_EQ(info.PixelType, c.pixelType);
    EXPECT_EQ(info.Compression, TWCP_NONE);
    EXPECT_EQ(info.Planar, FALSE);

    Transferred image;
    NativeTransfer(image);
    ASSERT_EQ(image.result, TWRC_XFERDONE);
    DibImage dib;
    ASSERT_EQ(ReadDib(image.bytes.data(), image.bytes.size(), dib), "");
    EXPECT_EQ(dib.Width(), info.ImageWidth);
    EXPECT_EQ(dib.Height(), info.ImageLength);
    EXPECT_EQ(dib.BitCount(), info.BitsPerPixel);
    EXPECT_EQ(dib.header.biXPelsPerMeter, 7874);
    EXPECT_EQ(dib.header.biYPelsPerMeter, 5906);
    ASSERT_EQ(dib.palette.size(), c.paletteSize);
    for (std::size_t i = 0; i < c.paletteSize; ++i) {
        const auto level = static_cast<std::uint8_t>(i * 255 / (c.paletteSize - 1));
        EXPECT_EQ(dib.palette[i], (Rgb{level, level, level})) << i;
    }
    EXPECT_EQ(CompareWithPattern(dib, PageFace{1, 1, false}), "");
    // Exactly the DIB, nothing after it.
    EXPECT_GE(image.bytes.size(), 40 + 4 * c.paletteSize + dib.rowBytes * dib.Height());
}

INSTANTIATE_TEST_SUITE_P(PixelTypes, ImageFormatTest,
                         ::testing::Values(FormatCase{"BlackAndWhite", TWPT_BW, 1, 1, 1, 2},
                                           FormatCase{"Grey", TWPT_GRAY, 1, 8, 8, 256},
                                           FormatCase{"Colour", TWPT_RGB, 3, 8, 24, 0}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DataSourceTest, EndingAnImageBeforeItsTransferSkipsIt) {
    ASSERT_EQ(Source().SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
    ToTransferReady();
    TW_UINT16 count = 0;
    ASSERT_EQ(Source().Pending(MSG_ENDXFER, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 1);
    Transferred image;
    NativeTransfer(image);
    ASSERT_EQ(image.result, TWRC_XFERDONE);
    DibImage dib;
    ASSERT_EQ(ReadDib(image.bytes.data(), image.bytes.size(), dib), "");
    EXPECT_EQ(CompareWithPattern(dib, PageFace{2, 2, false}), "");
}

TEST_F(DataSourceTest, ResetDropsThePendingImages) {
    ASSERT_EQ(Source().SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ToTransferReady();
    Transferred image;
    NativeTransfer(image);
    ASSERT_EQ(image.result, TWRC_XFERDONE);
    TW_UINT16 count = 0xFF;
    ASSERT_EQ(Source().Pending(MSG_RESET, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Source().Disable(), TWRC_SUCCESS);
}

TEST_F(DataSourceTest, ClaimsOnlyItsOwnMessages) {
    WNDCLASSW type{};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"ForeignWindow";
    RegisterClassW(&type);
    HWND foreign = CreateWindowW(L"ForeignWindow", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(foreign, nullptr);
    ASSERT_EQ(Source().Enable(false), TWRC_SUCCESS);

    // The source's own notification: the queued message of a window that is
    // not the test's.
    MSG own{};
    while (PeekMessageW(&own, nullptr, 0, 0, PM_REMOVE) &&
           (own.hwnd == nullptr || own.hwnd == foreign)) {
        DispatchMessageW(&own);
    }
    ASSERT_NE(own.hwnd, nullptr);
    // The same message for another window is not the source's.
    MSG copy = own;
    copy.hwnd = foreign;
    TW_EVENT event{&copy, 0xBEEF};
    EXPECT_EQ(Source().Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_NULL);
    MSG paint{foreign, WM_PAINT, 0, 0, 0, {}};
    event = TW_EVENT{&paint, 0xBEEF};
    EXPECT_EQ(Source().Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_NULL);

    event = TW_EVENT{&own, MSG_NULL};
    EXPECT_EQ(Source().Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_XFERREADY);
    // Handed back a second time it announces nothing new.
    event = TW_EVENT{&own, MSG_NULL};
    EXPECT_EQ(Source().Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_NULL);
    DestroyWindow(foreign);
}

TEST_F(DataSourceTest, WithoutItsUserInterfaceNoDialogAppears) {
    ASSERT_EQ(Source().Enable(false), TWRC_SUCCESS);
    EXPECT_EQ(FindWindowW(L"#32770", kDialogCaption), nullptr);
}

// What using the dialog announces to the application.
struct DialogCase {
    const char* name;
    UINT message;
    int button;  // the button a BM_CLICK is sent to, or 0 for a message to the dialog
    TW_UINT16 notification;
};

class DialogTest : public DataSourceTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(DialogTest, AnnouncesWhatTheUserChose) {
    const DialogCase& c = GetParam();
    ASSERT_EQ(Source().SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
    ASSERT_EQ(Source().SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS);
    ASSERT_EQ(Source().SetOneValue(CAP_DUPLEXENABLED, TWTY_BOOL, TRUE), TWRC_SUCCESS);
    ASSERT_EQ(Source().Enable(true), TWRC_SUCCESS);
    HWND dialog = FindWindowW(L"#32770", kDialogCaption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, IDC_SETTINGS, text, 256);
    EXPECT_STREQ(text, L"A4, 300 x 100 dpi, black and white, both sides, 6 pages");
    // Nothing happens until the user does something.
    EXPECT_EQ(Source().PumpForNotification(300), MSG_NULL);

    HWND target = c.button != 0 ? GetDlgItem(dialog, c.button) : dialog;
    PostMessageW(target, c.message, 0, 0);
    EXPECT_EQ(Source().PumpForNotification(2000), c.notification);

    if (c.notification == MSG_XFERREADY) {
        TW_UINT16 count = 0;
        ASSERT_EQ(Source().Pending(MSG_RESET, count), TWRC_SUCCESS);
    }
    EXPECT_EQ(Source().Disable(), TWRC_SUCCESS);
    EXPECT_FALSE(IsWindow(dialog));
}

INSTANTIATE_TEST_SUITE_P(Choices, DialogTest,
                         ::testing::Values(DialogCase{"Scan", BM_CLICK, IDOK, MSG_XFERREADY},
                                           DialogCase{"Cancel", BM_CLICK, IDCANCEL, MSG_CLOSEDSREQ},
                                           DialogCase{"CloseBox", WM_CLOSE, 0, MSG_CLOSEDSREQ}),
                         [](const ::testing::TestParamInfo<DialogCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DataSourceTest, ScanPressedTwiceGivesOneBatch) {
    ASSERT_EQ(Source().SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
    ASSERT_EQ(Source().Enable(true), TWRC_SUCCESS);
    HWND scan = GetDlgItem(FindWindowW(L"#32770", kDialogCaption), IDOK);
    PostMessageW(scan, BM_CLICK, 0, 0);
    PostMessageW(scan, BM_CLICK, 0, 0);
    EXPECT_EQ(Source().PumpForNotification(2000), MSG_XFERREADY);
    EXPECT_EQ(Source().PumpForNotification(300), MSG_NULL);
    TW_UINT16 count = 0;
    ASSERT_EQ(Source().Pending(MSG_GET, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 2);
}

}  // namespace
