// Both video players drawing through OpenGL headless, from a test source and from a YUV4MPEG2
// clip that FFmpeg reads: the presented picture upright, and the video played to its end.
#include "VideoFixture.h"
#include "videoplayer9/VMR9Player.h"
#include "videotexture/VideoTexture.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

const UINT SCREEN_W = 800, SCREEN_H = 600;

// A clip of raw 4:2:0 frames: the top half white, the bottom half black.
std::string y4m(int width, int height, int frames)
{
    std::string out = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F25:1 Ip A1:1 C420jpeg\n";
    for (int f = 0; f < frames; ++f) {
        out += "FRAME\n";
        for (int y = 0; y < height; ++y) out += std::string(width, y < height / 2 ? '\xFF' : '\x00');
        out += std::string(width * height / 2, '\x80');
    }
    return out;
}

struct Case {
    bool textured;  // CVideoTexture, else CVMR9Player
    bool clipFile;  // the YUV4MPEG2 clip, else the test's colour bars
};

class PlayersTest : public VideoFixture, public ::testing::WithParamInterface<Case> {
protected:
    // The presented picture at (x, y) as 0xRRGGBB.
    DWORD shown(UINT x, UINT y)
    {
        IDirect3DTexture9* capture = nullptr;
        IDirect3DSurface9* surface = nullptr;
        IDirect3DDevice9* device = DXInterface.ID3DDevice;
        device->CreateTexture(SCREEN_W, SCREEN_H, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &capture, nullptr);
        capture->GetSurfaceLevel(0, &surface);
        EXPECT_EQ(device->GetFrontBufferData(0, surface), D3D_OK);
        D3DLOCKED_RECT r{};
        surface->LockRect(&r, nullptr, D3DLOCK_READONLY);
        DWORD p;
        std::memcpy(&p, static_cast<const uint8_t*>(r.pBits) + y * r.Pitch + x * 4, 4);
        surface->UnlockRect();
        surface->Release();
        capture->Release();
        return p & 0xFFFFFF;
    }
    static bool near(DWORD a, DWORD b)
    {
        for (int shift : {0, 8, 16})
            if (std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)) > 12) return false;
        return true;
    }
};

}  // namespace

TEST_P(PlayersTest, ThePictureIsUprightAndTheVideoPlaysToItsEnd)
{
    const Case c = GetParam();
    ASSERT_TRUE(bringUp(true));
    const int frames = 3;
    const char* name = "data\\movies\\bars.vid";
    if (c.clipFile) {
        name = "data\\movies\\clip.y4m";
        m_dir.write("data/movies/clip.y4m", y4m(16, 16, frames));
    } else {
        dshow::registerVideo(name, clip(64, 48, frames));
    }
    std::unique_ptr<CVideoPlayer> p;
    if (c.textured)
        p = std::make_unique<CVideoTexture>(0);
    else
        p = std::make_unique<CVMR9Player>(DXInterface.ID3D, DXInterface.ID3DDevice);
    ASSERT_TRUE(p->Open(m_window, name, 0, 0, 0, SCREEN_W, SCREEN_H, 32768, 0));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    p->Render();

    if (c.clipFile) {
        EXPECT_TRUE(near(shown(400, 100), 0xFFFFFF)) << std::hex << shown(400, 100);
        EXPECT_TRUE(near(shown(400, 500), 0x000000)) << std::hex << shown(400, 500);
    } else {
        for (UINT bar = 0; bar < 8; ++bar) {
            const UINT x = (2 * bar + 1) * SCREEN_W / 16;
            const DWORD expected = dshow::patternColour(dshow::Pattern::Bars, 64, 48, 0, bar * 8 + 4, 0);
            EXPECT_TRUE(near(shown(x, 200), expected)) << bar << " " << std::hex << shown(x, 200);
        }
        EXPECT_TRUE(near(shown(200, 560), 0x000000));
        EXPECT_TRUE(near(shown(600, 560), 0xFFFFFF));
    }

    bool ended = false;
    for (int i = 0; i < frames && !ended; ++i) {
        ds::advanceFrames(FRAME);
        ended = c.textured ? !p->Update() : p->IsFinished();
        if (!ended) {
            ASSERT_TRUE(dshow::waitForFrames(graph(), i + 2));
        }
        p->Render();
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(graphState().framesPresented, frames);
    EXPECT_EQ(graphState().posted, std::vector<LONG>{EC_COMPLETE});
    EXPECT_EQ(p->GetPosition(), frames * 40);
    p.reset();
}

INSTANTIATE_TEST_SUITE_P(Players, PlayersTest,
                         ::testing::Values(Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.textured ? "Texture" : "Vmr9") +
                                    (info.param.clipFile ? "Y4m" : "Bars");
                         });

using CutClipTest = VideoFixture;

TEST_F(CutClipTest, AClipCutShortWhilePlayingEndsTheGraphWithAnErrorAndThePlayerStillCloses)
{
    ASSERT_TRUE(bringUp());
    const std::string whole = y4m(320, 240, 5);
    m_dir.write("data/movies/cut.y4m", whole);
    CVMR9Player p(DXInterface.ID3D, DXInterface.ID3DDevice);
    ASSERT_TRUE(p.Open(m_window, "data\\movies\\cut.y4m", 0, 0, 0, 320, 240, 0, 0));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    // Only the first frame is left in the file.
    const size_t frameBytes = 6 + 320 * 240 * 3 / 2;
    std::filesystem::resize_file(m_dir.file("data/movies/cut.y4m"), whole.size() - 4 * frameBytes);
    ds::advanceFrames(3 * FRAME);
    for (int i = 0; i < 1000 && graphState().posted.empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(graphState().posted, std::vector<LONG>{EC_ERRORABORT});
    p.Close();
    EXPECT_EQ(dshow::liveGraphs(), 0);
}
