// scanbridge.dll against a TWAIN source that nobody here wrote: Wine's own
// gphoto2.ds, loaded by Wine's own TWAIN manager, reading a camera's memory
// card through libgphoto2. run_camera_tests.sh mounts the card where
// libgphoto2 finds it and writes, beside this program, each photo as ImageIO
// decodes it; every page that arrives is compared with that.
//
// What gphoto2.ds does that our own doubles do not: it hands a native
// transfer over as a GDI bitmap, not as a global block; it refuses an open
// request without a product name, which Wine's manager passes on when asked
// for its default source that way; and without its own dialog it transfers
// nothing, since only the dialog (or its SkipUI setting) marks the photos.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "dib_image.h"
#include "fake_jvm.h"
#include "trace_reader.h"
#include "scanbridge_dll.h"

namespace {

constexpr char16_t kCameraName[] = u"Mass Storage Camera";
constexpr const char* kPhotos[] = {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"};

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// A photo as ImageIO decoded it: red, green, blue from the top row down.
struct DecodedPhoto {
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

std::string ReadDecoded(const std::string& name, DecodedPhoto& photo) {
    std::ifstream in(ProgramFolder() + "decoded\\" + name + ".rgb", std::ios::binary);
    std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() < 8) return "no decoded photo " + name;
    std::int32_t size[2];
    std::memcpy(size, bytes.data(), sizeof size);
    photo.name = name;
    photo.width = size[0];
    photo.height = size[1];
    photo.rgb.assign(bytes.begin() + 8, bytes.end());
    if (photo.rgb.size() != 3u * photo.width * photo.height) return "short decoded photo " + name;
    return {};
}

// gphoto2.ds shows its dialog only when this is not set; the dialog would
// wait for a user.
class SkipCameraDialog : public ::testing::Environment {
public:
    void SetUp() override {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Gphoto2", 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const DWORD skip = 1;
        const LONG set = RegSetValueExA(key, "SkipUI", 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&skip), sizeof skip);
        RegCloseKey(key);
        ASSERT_EQ(set, ERROR_SUCCESS);
    }
};

const auto* const kSkipDialog = ::testing::AddGlobalTestEnvironment(new SkipCameraDialog);

class CameraThroughWine : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kPhotos) {
            DecodedPhoto photo;
            ASSERT_EQ(ReadDecoded(name, photo), "");
            photos_.push_back(std::move(photo));
        }
        dll_ = std::make_unique<ScanbridgeDll>("scanbridge.dll");
        ASSERT_TRUE(dll_->Loaded());
    }

    void TearDown() override {
        dll_.reset();
        EXPECT_EQ(jvm_.violations, std::vector<std::string>{});
        EXPECT_EQ(jvm_.LiveLocalReferences(), 0);
    }

    jboolean Scan(jint count) { return dll_->scan(jvm_.Env(), jvm_.Scan(), count); }

    // Every photo arrived once, as a 24-bit page equal to ImageIO's decoding
    // within one level per channel: the two JPEG decoders round differently.
    void ExpectEveryPhoto() {
        ASSERT_EQ(jvm_.pages.size(), photos_.size());
        std::vector<bool> seen(photos_.size(), false);
        for (std::size_t i = 0; i < jvm_.pages.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            DibImage page;
            ASSERT_EQ(ReadBmp(jvm_.pages[i], page), "");
            EXPECT_EQ(page.BitCount(), 24);
            const auto photo = std::find_if(photos_.begin(), photos_.end(), [&](const auto& p) {
                return p.width == page.Width() && p.height == page.Height();
            });
            ASSERT_NE(photo, photos_.end())
                << "no photo of " << page.Width() << " x " << page.Height();
            const std::size_t index = photo - photos_.begin();
            EXPECT_FALSE(seen[index]) << photo->name << " arrived twice";
            seen[index] = true;
            ComparePixels(page, *photo);
        }
    }

    static void ComparePixels(const DibImage& page, const DecodedPhoto& photo) {
        long differing = 0;
        long outside = 0;
        int largest = 0;
        std::string first;
        for (int y = 0; y < photo.height; ++y) {
            for (int x = 0; x < photo.width; ++x) {
                const Rgb seen = page.Pixel(x, y);
                const unsigned char* expected = &photo.rgb[3 * (std::size_t(y) * photo.width + x)];
                const int channels[3][2] = {
                    {seen.red, expected[0]}, {seen.green, expected[1]}, {seen.blue, expected[2]}};
                int worst = 0;
                for (const auto& c : channels) worst = std::max(worst, std::abs(c[0] - c[1]));
                if (worst == 0) continue;
                ++differing;
                largest = std::max(largest, worst);
                if (worst > 1 && outside++ == 0) {
                    first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                            std::to_string(seen.red) + "/" + std::to_string(seen.green) + "/" +
                            std::to_string(seen.blue) + ", ImageIO " + std::to_string(expected[0]) +
                            "/" + std::to_string(expected[1]) + "/" + std::to_string(expected[2]);
                }
            }
        }
        std::printf(
            "report: %s, %d x %d: %ld of %d pixels differ from ImageIO's decoding, by at most %d\n",
            photo.name.c_str(), photo.width, photo.height, differing, photo.width * photo.height,
            largest);
        EXPECT_EQ(outside, 0) << photo.name << ": pixels differ by more than 1, first " << first;
    }

    FakeJvm jvm_;
    std::unique_ptr<ScanbridgeDll> dll_;
    std::vector<DecodedPhoto> photos_;
};

TEST_F(CameraThroughWine, SelectedCameraDeliversEveryPhoto) {
    jobjectArray sources = dll_->getAvailableSources(jvm_.Env(), jvm_.Scan());
    const std::vector<std::u16string> names = jvm_.Strings(sources);
    jvm_.DeleteLocal(sources);
    ASSERT_NE(std::find(names.begin(), names.end(), kCameraName), names.end());
    ASSERT_EQ(dll_->selectSource(jvm_.Env(), jvm_.Scan(), jvm_.NewString(kCameraName)), JNI_TRUE);
    EXPECT_EQ(dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_TRUE), 1);

    EXPECT_EQ(Scan(-1), JNI_TRUE);

    EXPECT_EQ(jvm_.calls,
              (std::vector<std::string>{"fireStartScanning", "fireNewImage", "fireNewImage",
                                        "fireNewImage", "fireStopScanning"}));
    ExpectEveryPhoto();
}

TEST_F(CameraThroughWine, ScanWithoutSelectionOpensTheDefaultCamera) {
    dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_TRUE);

    EXPECT_EQ(Scan(-1), JNI_TRUE);

    ExpectEveryPhoto();
}

TEST_F(CameraThroughWine, PickedDefaultCameraDeliversEveryPhoto) {
    EXPECT_EQ(dll_->selectDefaultSource(jvm_.Env(), jvm_.Scan(), 0), JNI_TRUE);
    dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_TRUE);

    EXPECT_EQ(Scan(-1), JNI_TRUE);

    ExpectEveryPhoto();
}

// The source's own way, recorded so that a change in it shows: without its
// dialog nothing is marked for transfer, and the scan ends without pages.
TEST_F(CameraThroughWine, WithoutItsDialogTheCameraTransfersNothing) {
    ASSERT_EQ(dll_->selectSource(jvm_.Env(), jvm_.Scan(), jvm_.NewString(kCameraName)), JNI_TRUE);
    dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_FALSE);

    EXPECT_EQ(Scan(-1), JNI_TRUE);

    EXPECT_EQ(jvm_.calls, (std::vector<std::string>{"fireStartScanning", "fireStopScanning"}));
}

}  // namespace

namespace {

// The trace of a scan through a driver nobody here wrote: every request,
// the pages as the bitmaps this driver hands over, and all of it from the
// side that speaks TWAIN.
TEST_F(CameraThroughWine, TheTraceShowsTheDriversAnswersAndItsBitmaps) {
    dll_.reset();
    const std::string path = FreshTracePath("camera_trace.txt");
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", path.c_str());
    dll_ = std::make_unique<ScanbridgeDll>("scanbridge.dll");
    ASSERT_EQ(dll_->selectSource(jvm_.Env(), jvm_.Scan(), jvm_.NewString(kCameraName)), JNI_TRUE);
    dll_->setShowUI(jvm_.Env(), jvm_.Scan(), JNI_TRUE);
    EXPECT_EQ(Scan(-1), JNI_TRUE);
    dll_.reset();
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", nullptr);

    const std::vector<std::string> lines = TraceLines(path);
    const std::vector<TracedRequest> requests = TracedRequests(lines);
    ASSERT_FALSE(requests.empty());
    // The 32-bit bridge speaks TWAIN itself; the 64-bit one through its worker.
    const std::string side = sizeof(void*) == 8 ? "worker" : "bridge";
    // DAT_IMAGENATIVEXFER, TWRC_XFERDONE, MSG_OPENDS and TWRC_SUCCESS, as
    // the trace gives them by number.
    constexpr unsigned kNativeTransfer = 0x104, kTransferDone = 6, kOpenSource = 0x401;
    int transfers = 0;
    bool opened = false;
    for (const TracedRequest& r : requests) {
        EXPECT_EQ(r.side, side) << r.line;
        if (r.dat == kNativeTransfer && r.returnCode == kTransferDone) ++transfers;
        opened |= r.msg == kOpenSource && r.returnCode == 0;
    }
    EXPECT_TRUE(opened);
    EXPECT_EQ(transfers, 3);
    const std::vector<std::string> images = TracedOf(lines, "image");
    ASSERT_EQ(images.size(), 3u);
    for (const std::string& image : images) EXPECT_EQ(image.find("image bitmap, "), 0u) << image;
}

}  // namespace
