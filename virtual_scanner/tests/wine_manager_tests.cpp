// The virtual scanner as the Java application meets it: scanbridge.dll,
// driven through its exports with the tests' small Java environment, talks to
// Wine's own TWAIN manager (its built-in twain_32.dll, no stand-in), which
// loads the virtual scanner like any scanner driver.
// The virtual scanner is installed as Wine's sane.ds (virtual_scanner_installed.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dib_image.h"
#include "twain_types.h"
#include "fake_jvm.h"
#include "paper_feeder.h"
#include "scan_dialog_ids.h"
#include "scanbridge_dll.h"
#include "virtual_scanner_installed.h"

namespace {

HWND FindScanDialog() { return FindWindowW(L"#32770", kDialogCaption); }

// Presses a button of the virtual scanner's dialog once it appears, as a
// user would, and keeps what the dialog said about the scan.
class DialogPresser {
public:
    explicit DialogPresser(int button) : thread_([this, button] { Press(button); }) {}
    ~DialogPresser() {
        stop_ = true;
        thread_.join();
    }
    std::wstring settings;
    std::atomic<bool> pressed{false};

private:
    void Press(int button) {
        while (!stop_) {
            HWND dialog = FindScanDialog();
            if (dialog != nullptr && IsWindowVisible(dialog)) {
                wchar_t text[256] = {};
                GetDlgItemTextW(dialog, IDC_SETTINGS, text, 256);
                settings = text;
                PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
                pressed = true;
                return;
            }
            Sleep(20);
        }
    }
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class VirtualScannerThroughWine : public ::testing::Test {
protected:
    void SetUp() override {
        dll_ = std::make_unique<ScanbridgeDll>("scanbridge.dll");
        ASSERT_TRUE(dll_->Loaded());
    }

    void TearDown() override {
        dll_.reset();
        EXPECT_EQ(jvm_.violations, std::vector<std::string>{});
        EXPECT_EQ(jvm_.LiveLocalReferences(), 0);
    }

    void SelectScanner() {
        jstring name = jvm_.NewString(kScannerName);
        ASSERT_EQ(dll_->selectSource(jvm_.Env(), jvm_.Scan(), name), JNI_TRUE);
    }

    // Each delivered page decoded and compared with the pattern of its face.
    void ExpectPages(const std::vector<PageFace>& faces, int bitCount, int width, int height) {
        ASSERT_EQ(jvm_.pages.size(), faces.size());
        for (std::size_t i = 0; i < faces.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            DibImage image;
            ASSERT_EQ(ReadBmp(jvm_.pages[i], image), "");
            EXPECT_EQ(image.BitCount(), bitCount);
            ASSERT_EQ(image.Width(), width);
            ASSERT_EQ(image.Height(), height);
            EXPECT_EQ(CompareWithPattern(image, faces[i]), "");
        }
    }

    FakeJvm jvm_;
    std::unique_ptr<ScanbridgeDll> dll_;
};

TEST_F(VirtualScannerThroughWine, ThreeColourPagesAt300Dpi) {
    jobjectArray sources = dll_->getAvailableSources(jvm_.Env(), jvm_.Scan());
    const std::vector<std::u16string> names = jvm_.Strings(sources);
    jvm_.DeleteLocal(sources);
    ASSERT_NE(std::find(names.begin(), names.end(), kScannerName), names.end());

    SelectScanner();
    EXPECT_EQ(dll_->setPixelType(jvm_.Env(), jvm_.Scan(), TWPT_RGB), JNI_TRUE);
    EXPECT_EQ(dll_->setDPI(jvm_.Env(), jvm_.Scan(), 300, 300), JNI_TRUE);
    EXPECT_EQ(dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_FALSE), 1);
    bool dialogSeen = false;
    jvm_.onCallback = [&](const std::string&) { dialogSeen |= FindScanDialog() != nullptr; };

    EXPECT_EQ(dll_->scan(jvm_.Env(), jvm_.Scan(), 3), JNI_TRUE);

    EXPECT_EQ(jvm_.calls,
              (std::vector<std::string>{"fireStartScanning", "fireNewImage", "fireNewImage",
                                        "fireNewImage", "fireStopScanning"}));
    EXPECT_FALSE(dialogSeen) << "a dialog without the user interface";
    // A4 at 300 dpi.
    ExpectPages({{1, 1, false}, {2, 2, false}, {3, 3, false}}, 24, 2480, 3508);
    if (jvm_.pages.size() != 3) return;
    EXPECT_NE(jvm_.pages[0], jvm_.pages[1]) << "the page number makes each page its own";
    DibImage page;
    ASSERT_EQ(ReadBmp(jvm_.pages[0], page), "");
    EXPECT_EQ(page.header.biXPelsPerMeter, 11811);
    // The pattern is there to be seen: a black frame, white paper, a red bar.
    EXPECT_EQ(page.Pixel(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(page.Pixel(1240, 1700), (Rgb{255, 255, 255}));
    EXPECT_EQ(page.Pixel(1240 + 1240 / 4 + 100, 2368), (Rgb{255, 0, 0}));
}

struct ScanCase {
    const char* name;
    int pixelType;
    int xDpi;
    int yDpi;
    bool duplex;
    int count;
    int bitCount;
    int width;
    int height;
    std::vector<PageFace> faces;
};

class ScanSettingsThroughWine : public VirtualScannerThroughWine,
                                public ::testing::WithParamInterface<ScanCase> {};

TEST_P(ScanSettingsThroughWine, PagesFollowTheSettings) {
    const ScanCase& c = GetParam();
    SelectScanner();
    EXPECT_EQ(dll_->setPixelType(jvm_.Env(), jvm_.Scan(), c.pixelType), JNI_TRUE);
    EXPECT_EQ(dll_->setDPI(jvm_.Env(), jvm_.Scan(), c.xDpi, c.yDpi), JNI_TRUE);
    EXPECT_EQ(dll_->setDoubleSided(jvm_.Env(), jvm_.Scan(), c.duplex ? JNI_TRUE : JNI_FALSE),
              JNI_TRUE);
    dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_FALSE);

    EXPECT_EQ(dll_->scan(jvm_.Env(), jvm_.Scan(), c.count), JNI_TRUE);

    ExpectPages(c.faces, c.bitCount, c.width, c.height);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanSettingsThroughWine,
                         ::testing::Values(
                             // Every sheet of the feeder, both sides of each.
                             ScanCase{"GreyDuplexWholeFeeder",
                                      TWPT_GRAY,
                                      100,
                                      100,
                                      true,
                                      -1,
                                      8,
                                      827,
                                      1169,
                                      {{1, 1, false},
                                       {2, 1, true},
                                       {3, 2, false},
                                       {4, 2, true},
                                       {5, 3, false},
                                       {6, 3, true}}},
                             // Three images are three sides, not three sheets.
                             ScanCase{"BlackAndWhiteDuplexUnequalResolutions",
                                      TWPT_BW,
                                      150,
                                      75,
                                      true,
                                      3,
                                      1,
                                      1240,
                                      877,
                                      {{1, 1, false}, {2, 1, true}, {3, 2, false}}}),
                         [](const ::testing::TestParamInfo<ScanCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(VirtualScannerThroughWine, DialogScanButtonStartsTheScan) {
    SelectScanner();
    EXPECT_EQ(dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_TRUE), 1);
    DialogPresser presser(IDOK);
    bool dialogDuringTransfer = false;
    jvm_.onCallback = [&](const std::string& method) {
        if (method == "fireNewImage") dialogDuringTransfer = FindScanDialog() != nullptr;
    };

    EXPECT_EQ(dll_->scan(jvm_.Env(), jvm_.Scan(), 1), JNI_TRUE);

    EXPECT_TRUE(presser.pressed);
    EXPECT_EQ(presser.settings, L"A4, 100 x 100 dpi, colour, one side, 1 page");
    EXPECT_TRUE(dialogDuringTransfer);
    EXPECT_EQ(FindScanDialog(), nullptr) << "closing the source closes its dialog";
    // The defaults of a freshly opened source.
    ExpectPages({{1, 1, false}}, 24, 827, 1169);
}

TEST_F(VirtualScannerThroughWine, DialogCancelEndsTheScanWithoutPages) {
    SelectScanner();
    dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_TRUE);
    DialogPresser presser(IDCANCEL);

    EXPECT_EQ(dll_->scan(jvm_.Env(), jvm_.Scan(), 2), JNI_TRUE);

    EXPECT_TRUE(presser.pressed);
    EXPECT_EQ(jvm_.calls, (std::vector<std::string>{"fireStartScanning", "fireStopScanning"}));
    EXPECT_EQ(FindScanDialog(), nullptr);
    // Closed properly: the next scan opens it again and gets its page.
    SelectScanner();
    dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_FALSE);
    EXPECT_EQ(dll_->scan(jvm_.Env(), jvm_.Scan(), 1), JNI_TRUE);
    EXPECT_EQ(jvm_.pages.size(), 1u);
}

}  // namespace
