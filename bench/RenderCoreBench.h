// The render core brought up for a benchmark: a device on the default card, drawing through the
// OpenGL renderer headless or the null renderer, in a folder of its own with the files enumeration
// reads. Everything goes again when it goes out of scope.
#pragma once

#include "BenchMain.h"
#include "d3d9gl/DeviceRenderer.h"
#include "d3dcore9/D3DCore.h"
#include "platform/testing.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

class RenderCoreBench {
public:
    RenderCoreBench(bool gl, const char* name)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        m_previous = std::filesystem::current_path();
        m_dir = bench::uniqueFolder(name);
        if (m_dir.empty()) return;
        std::filesystem::create_directories(m_dir / "data");
        std::ofstream(m_dir / "data" / "4CC.txt") << "3\nDXT1\nDXT3\nDXT5\n";
        std::filesystem::current_path(m_dir);
        platform::testing::resetD3D9();
        d3d9ref::setRendererFactory(gl ? &d3d9gl::createOffscreenDeviceRenderer : &d3d9ref::createNullRenderer);
        D3DCore::ResetObject();
        m_ok = DXSetup::Load() == 0;
        DXSetup::SetEnumFilter(GameEnumFilter());
        m_ok = m_ok && D3DCore.Init();
        if (m_ok) {
            const int32_t mode = D3DCore.FindMode(0, 0, 640, 480);
            D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, false, 0, 0, 0);
            m_ok = D3DCore.CreateDevice(false, false, 1);
        }
    }

    ~RenderCoreBench()
    {
        D3DCore.ReleaseDynamicVertexBuffers();
        D3DCore.ReleaseDevice();
        if (D3DCore.Initialised) D3DCore.Shutdown();
        if (DXInterface.ID3D) DXInterface.ID3D->Release();
        DXInterface = TDXInterface{};
        d3d9ref::setRendererFactory(nullptr);
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
    }

    RenderCoreBench(const RenderCoreBench&) = delete;
    RenderCoreBench& operator=(const RenderCoreBench&) = delete;

    bool ok() const { return m_ok; }

protected:
    bool m_ok = false;

private:
    std::filesystem::path m_previous, m_dir;
};
