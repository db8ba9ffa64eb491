#include "FrameFixture.h"

#include "d3d9gl/DeviceRenderer.h"
#include "d3dcore9/Screenshot.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>

namespace pt = platform::testing;

namespace {

class ScreenshotTest : public FrameFixture {
protected:
    void TearDown() override
    {
        if (m_surface) m_surface->Release();
        if (m_texture) m_texture->Release();
        FrameFixture::TearDown();
        d3d9ref::setRendererFactory(nullptr);
    }

    // A system-memory texture of the format, filled with 0xAARRGGBB = (y << 8) | x | 0xFF000000.
    IDirect3DSurface9* pattern(UINT width, UINT height, D3DFORMAT format = D3DFMT_A8R8G8B8)
    {
        EXPECT_EQ(DXInterface.ID3DDevice->CreateTexture(width, height, 1, 0, format, D3DPOOL_SYSTEMMEM, &m_texture,
                                                        nullptr),
                  D3D_OK);
        EXPECT_EQ(m_texture->GetSurfaceLevel(0, &m_surface), D3D_OK);
        D3DLOCKED_RECT r{};
        EXPECT_EQ(m_surface->LockRect(&r, nullptr, 0), D3D_OK);
        if (format == D3DFMT_A8R8G8B8)
            for (UINT y = 0; y < height; ++y)
                for (UINT x = 0; x < width; ++x) {
                    const DWORD p = 0xFF000000u | (y << 8) | x;
                    std::memcpy(static_cast<uint8_t*>(r.pBits) + y * r.Pitch + x * 4, &p, 4);
                }
        m_surface->UnlockRect();
        return m_surface;
    }

    IDirect3DTexture9* m_texture = nullptr;
    IDirect3DSurface9* m_surface = nullptr;
};

TEST_F(ScreenshotTest, TgaHasTheHeaderAndRowsStepByThePitch)
{
    ASSERT_TRUE(bringUp());
    IDirect3DSurface9* s = pattern(5, 4);
    pt::setD3D9Trace(true);
    EXPECT_EQ(writeSurfaceTGA(DXInterface.ID3DDevice, "shot.tga", 3, 2, s), D3D_OK);
    const std::string bytes = m_dir.read("shot.tga");
    ASSERT_EQ(bytes.size(), 18u + 3 * 2 * 4);
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 32, 0x20};
    EXPECT_EQ(std::memcmp(bytes.data(), header, 18), 0);
    // Second row, first pixel: B G R A of 0xFF000100.
    EXPECT_EQ(bytes.substr(18 + 12, 4), std::string("\x00\x01\x00\xFF", 4));

    // Asked for more than the surface holds: clamped to it.
    EXPECT_EQ(writeSurfaceTGA(DXInterface.ID3DDevice, "big.tga", 3000, 3000, s), D3D_OK);
    EXPECT_EQ(m_dir.read("big.tga").size(), 18u + 5 * 4 * 4);
    // A name that is a folder cannot be created as a file; the surface is unlocked again.
    m_dir.write("taken/file", "");
    EXPECT_EQ(writeSurfaceTGA(DXInterface.ID3DDevice, "taken", 4, 4, s), E_FAIL);
    D3DLOCKED_RECT r{};
    EXPECT_EQ(s->LockRect(&r, nullptr, 0), D3D_OK);
    s->UnlockRect();
    m_surface->Release();
    m_texture->Release();
    // A format without alpha bits is refused, and nothing is written.
    s = pattern(4, 4, D3DFMT_X8R8G8B8);
    EXPECT_EQ(writeSurfaceTGA(DXInterface.ID3DDevice, "x8.tga", 4, 4, s), D3DERR_INVALIDCALL);
    EXPECT_FALSE(m_dir.exists("x8.tga"));
}

TEST_F(ScreenshotTest, NumbersSkipExistingFiles)
{
    ASSERT_TRUE(bringUp());
    ASSERT_TRUE(createScreenshotSurface());
    m_dir.write("Veldrane_00000.tga", "x");
    m_dir.write("Veldrane_00001.tga", "x");
    EXPECT_EQ(takeScreenshot(), D3D_OK);
    ASSERT_TRUE(m_dir.exists("Veldrane_00002.tga"));
    // Full-screen 800 x 600: the display mode's size.
    EXPECT_EQ(m_dir.read("Veldrane_00002.tga").size(), 18u + 800 * 600 * 4);
    releaseScreenshotSurface();
}

// Files may not grow past the size for the scope, as on a full disk: a write past it fails.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        const rlimit limit{bytes, previous.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, SIG_DFL);
    }
    rlimit previous{};
};

TEST_F(ScreenshotTest, AShotThatCannotBeWrittenWholeLeavesNothingAndTheNextTakesItsNumber)
{
    ASSERT_TRUE(bringUp());
    ASSERT_TRUE(createScreenshotSurface());
    const auto entries = [&](const char* folder) {
        return std::distance(std::filesystem::directory_iterator(m_dir.file(folder)), {});
    };
    const auto before = entries("");
    {
        FileSizeLimit full(100000);
        std::string cause;
        EXPECT_EQ(takeScreenshot(&cause), E_FAIL);
        EXPECT_EQ(cause, "The file is larger than the file-size limit allows");
    }
    EXPECT_EQ(entries(""), before);  // neither a part file nor a temporary one
    EXPECT_EQ(takeScreenshot(), D3D_OK);
    EXPECT_EQ(m_dir.read("Veldrane_00000.tga").size(), 18u + 800 * 600 * 4);
    EXPECT_EQ(entries(""), before + 1);
    releaseScreenshotSurface();

    // A shot named into a folder is made there, over an older one.
    m_dir.write("shots/a.tga", "an older shot");
    EXPECT_EQ(writeSurfaceTGA(DXInterface.ID3DDevice, "shots\\a.tga", 4, 4, pattern(5, 4)), D3D_OK);
    EXPECT_EQ(m_dir.read("shots/a.tga").size(), 18u + 4 * 4 * 4);
    EXPECT_EQ(entries("shots"), 1);
    EXPECT_EQ(entries(""), before + 2);
}

// The front buffer of a presented frame, with the screen margin drawn over it.
TEST_F(ScreenshotTest, TheScreenMarginOutlinesTheScreenOnce)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
    ASSERT_TRUE(bringUp(false, 640, 480));
    ASSERT_TRUE(createScreenshotSurface());
    std::string bytes;
    auto shoot = [&](const char* name) {
        D3DCore.BeginScene(true, false);
        D3DCore.EndScene(true);
        D3DCore.Present(false);
        EXPECT_EQ(takeScreenshot(), D3D_OK);
        bytes = m_dir.read(name);
        return bytes.size() == 18u + 640 * 480 * 4;
    };
    auto pixel = [&](int x, int y) {
        const char* p = bytes.data() + 18 + (static_cast<size_t>(y) * 640 + x) * 4;
        return static_cast<DWORD>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8 |
                                  static_cast<uint8_t>(p[2]) << 16 | static_cast<uint8_t>(p[3]) << 24);
    };
    D3DCore.SetClearColour(true, 0, 0, 0x90);
    D3DCore.SetViewPort(0, 0, 640, 480, 640, 480);
    D3DCore.LetterboxBlock = borderBlock();
    D3DCore.DrawMargin = 1;
    ASSERT_TRUE(shoot("Veldrane_00000.tga"));
    EXPECT_EQ(pixel(320, 240), 0xFF000090u);
    auto red = [&](int x, int y) { return (pixel(x, y) >> 16) & 0xFF; };
    // 0x40 red at alpha 0xD0 over black; 4 columns at the sides (99% of 640 is 632) and 3 rows
    // at top and bottom (474 of 480); corners belong to the top and bottom strips alone.
    const DWORD strip = 52;
    for (auto [x, y] : {std::pair{320, 2}, {320, 477}, {3, 240}, {636, 240}, {0, 0}, {639, 476}})
        EXPECT_NEAR(red(x, y), strip, 2) << x << ", " << y;
    for (auto [x, y] : {std::pair{320, 3}, {320, 476}, {4, 240}, {635, 240}})
        EXPECT_EQ(red(x, y), 0u) << x << ", " << y;
    releaseScreenshotSurface();
    D3DCore.ReleaseDevice();
}

}  // namespace
