// Both video players drawing through OpenGL headless from a YUV4MPEG2 clip that FFmpeg reads: the
// presented picture the right way round, the video played to its end; a clip cut short while playing.
#include "VideoFixture.h"
#include "videoplayer9/VMR9Player.h"
#include "videotexture/VideoTexture.h"
#include <chrono>
#include <filesystem>
#include <thread>

// A clip of raw 4:2:0 frames: the top left quarter white, the rest black.
static std::string y4m(int width, int height, int frames)
{
    std::string out = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F25:1 Ip A1:1 C420jpeg\n";
    for (int f = 0; f < frames; ++f) {
        out += "FRAME\n";
        for (int y = 0; y < height; ++y)
            out += std::string(width / 2, y < height / 2 ? '\xFF' : '\x00') + std::string(width - width / 2, '\x00');
        out += std::string(width * height / 2, '\x80');
    }
    return out;
}

using PlayersTest = VideoFixture;

TEST_F(PlayersTest, BothPlayersShowTheClipTheRightWayRoundAndPlayItToItsEndOrToWhereItWasCut)
{
    ASSERT_TRUE(bringUp(true));
    const int frames = 3;
    m_dir.write("data/movies/clip.y4m", y4m(16, 16, frames));
    for (bool textured : {false, true}) {
        std::unique_ptr<CVideoPlayer> p(textured ? static_cast<CVideoPlayer*>(new CVideoTexture(0))
                                                 : new CVMR9Player(DXInterface.ID3D, DXInterface.ID3DDevice));
        ASSERT_TRUE(p->Open(m_window, "data\\movies\\clip.y4m", 0, 0, 0, 800, 600, 32768, 0));
        ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
        p->Render();
        // Green of the top left, top right and bottom left quarters: white, black, black.
        const DWORD quarters[] = {frontPixel(200, 150) >> 8 & 255, frontPixel(600, 150) >> 8 & 255, frontPixel(200, 450) >> 8 & 255};
        EXPECT_GT(quarters[0], 240u) << textured;
        EXPECT_LT(quarters[1] + quarters[2], 32u) << textured;
        bool ended = false;
        for (int i = 0; i < frames && !ended; ++i) {
            ds::advanceFrames(FRAME);
            ended = textured ? !p->Update() : p->IsFinished();
            ASSERT_TRUE(ended || dshow::waitForFrames(graph(), i + 2));
            p->Render();
        }
        EXPECT_TRUE(ended);
        EXPECT_EQ(frames, graphState().framesPresented);

        EXPECT_EQ(graphState().posted, std::vector<LONG>{EC_COMPLETE});
    }

    // A clip cut short while playing (only its first frame left) ends the graph with an error.
    const std::string whole = y4m(320, 240, 5);
    m_dir.write("data/movies/cut.y4m", whole);
    CVMR9Player p(DXInterface.ID3D, DXInterface.ID3DDevice);
    ASSERT_TRUE(p.Open(m_window, "data\\movies\\cut.y4m", 0, 0, 0, 320, 240, 0, 0));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    std::filesystem::resize_file(m_dir.file("data/movies/cut.y4m"), whole.size() - 4 * (6 + 320 * 240 * 3 / 2));
    ds::advanceFrames(3 * FRAME);
    for (int i = 0; i < 1000 && graphState().posted.empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(graphState().posted, std::vector<LONG>{EC_ERRORABORT});
    p.Close();
    EXPECT_EQ(dshow::liveGraphs(), 0);
}
