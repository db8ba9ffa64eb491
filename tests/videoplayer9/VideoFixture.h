// A video player's world: the render core and the material library on the scripted card, a
// window, the manual audio clock with test sources, and the front-end link's step counted.
#pragma once

#include "MatFixture.h"
#include "d3d9gl/DeviceRenderer.h"
#include "fegamelink/FEGameLink.h"
#include "platform/testing/dshow.h"
#include "platform/testing/dsound.h"

#include <fstream>
#include <sstream>
#include <string>

namespace dshow = platform::testing::dshow;
namespace ds = platform::testing::dsound;

class VideoFixture : public MatFixture {
protected:
    static constexpr DWORD FRAME = 1764;  // output frames of one picture at 25 a second

    void SetUp() override
    {
        MatFixture::SetUp();
        ds::useManualClock();
        dshow::reset();
        CFEGameLink::SetExitAfterSteps(0);
        platform::testing::useTestWindows();
        WNDCLASSA wc{};
        wc.lpfnWndProc = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
        wc.lpszClassName = "VideoTest";
        RegisterClassA(&wc);
        m_window = CreateWindowExA(0, "VideoTest", "Video", 0, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
        for (const char* name : {"frontend/movie.mtl", "frontend/dummy.tga"}) {
            std::ifstream in(std::string(VELDRANE_DATA) + "/" + name, std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            m_dir.write(std::string("data/") + name, bytes.str());
        }
    }

    void TearDown() override
    {
        EXPECT_EQ(dshow::liveGraphs(), 0);
        EXPECT_EQ(dshow::liveVmr9s(), 0);
        dshow::reset();
        CFEGameLink::SetExitAfterSteps(0);
        MatFixture::TearDown();
        d3d9ref::setRendererFactory(nullptr);
        platform::testing::useTestWindows();
    }

    // The device (drawing through OpenGL when asked), then one frame so that the streaming
    // thread finds the context free, as it does after the front end's frames.
    bool bringUp(bool drawn = false)
    {
        if (drawn) {
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
            d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        }
        if (!MatFixture::bringUp()) return false;
        D3DCore.BeginScene(true, false);
        D3DCore.EndScene(true);
        D3DCore.Present(false);
        return true;
    }

    static IGraphBuilder* graph()
    {
        const auto all = dshow::graphs();
        return all.empty() ? nullptr : all[0].graph;
    }
    static dshow::GraphState graphState()
    {
        const auto all = dshow::graphs();
        return all.empty() ? dshow::GraphState() : all[0];
    }
    // One picture's time on the clock, and the frame it brings shown.
    static bool nextFrame()
    {
        const int shown = graphState().framesPresented;
        ds::advanceFrames(FRAME);
        return dshow::waitForFrames(graph(), shown + 1);
    }

    static dshow::SyntheticVideo clip(UINT width, UINT height, UINT frames, DWORD layout = D3DFMT_R8G8B8)
    {
        dshow::SyntheticVideo v;
        v.width = width;
        v.height = height;
        v.frames = frames;
        v.layout = layout;
        return v;
    }

    HWND m_window = nullptr;
};
