// The material library on the scripted card: the render core's frame fixture with the name tables
// and the shipped render defaults.
#pragma once

#include "FrameFixture.h"
#include "d3dcore9/RenderCoreStart.h"
#include "matcore9/MatCore.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

class MatFixture : public FrameFixture {
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        std::ifstream shipped(VELDRANE_DATA "/renderdefault.txt");
        std::stringstream text;
        text << shipped.rdbuf();
        m_dir.write("data/renderdefault.txt", text.str());
        MatCore.Warnings = 0;
        testsupport::clearReports();
    }

    void TearDown() override
    {
        if (MatCore.Initialised) {
            for (int32_t i = 0; i < MAXOVERLAYPAGES; ++i)
                if (MatCore.OverlayPage[i].Used) MatCore.ReleaseOverlayPage(i);
            MatCore.Overlay = OverlayBatch();
            // Every block a test left, the core's own among them, with its textures.
            if (D3DCore.DeviceActive) D3DCore.StateBlocks.ReleaseAll();
            D3DCore.LetterboxBlock = D3DCore.DebugFontBlock = D3DCore.HighlightBlock = SB_NONE;
            MatCore.HighlightSBLoaded = false;
            if (D3DCore.DeviceActive) MatCore.DestroyDevice();
            MatCore.Shutdown();
        }
        if (D3DCore.DeviceActive) D3DCore.StateBlocks.ReleaseAll();
        D3DCore.LetterboxBlock = SB_NONE;
        MatCore.ShutdownRenderStates();
        FrameFixture::TearDown();
    }

    // The device, windowed at 800 x 600, then the tables and defaults.
    bool bringUp()
    {
        if (!FrameFixture::bringUp(false)) return false;
        MatCore.InitRenderStates();
        return true;
    }

    // Writes data/<name> ("data\\<name>" to the game).
    void write(const std::string& name, const std::string& text)
    {
        std::string path = name;
        std::replace(path.begin(), path.end(), '\\', '/');
        m_dir.write("data/" + path, text);
    }

    // A file of the shipped data copied into the test's data folder.
    void copyData(const std::string& name)
    {
        const std::filesystem::path to = m_dir.file("data/" + name);
        std::filesystem::create_directories(to.parent_path());
        std::filesystem::copy_file(std::string(VELDRANE_DATA) + "/" + name, to,
                                   std::filesystem::copy_options::overwrite_existing);
    }

    // Through the library's front door, windowed at 800 x 600, with the shipped core materials.
    bool bringUpLibrary()
    {
        for (const char* f : {"font.mtl", "font.tga", "letterbox.mtl", "fallbackmaterials/vc.mtl",
                              "fallbackmaterials/t1.mtl", "fallbackmaterials/t1_vc.mtl"})
            copyData(f);
        if (DXSetup::Load() != 0) return false;
        RenderCoreSettings settings;
        settings.Width = 800;
        settings.Height = 600;
        settings.FullScreen = false;
        return StartMaterialLibrary(settings);
    }

    // (type, stage, state, value) of every node of a list.
    static std::vector<std::vector<DWORD>> nodes(const StateList& list)
    {
        std::vector<std::vector<DWORD>> out;
        for (const StateNode* n = list.First; n; n = n->Next) out.push_back({n->Type, n->Stage, n->State, n->Value});
        return out;
    }
};
