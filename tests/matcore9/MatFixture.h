// The material library on the scripted card: the render core's frame fixture with the name tables
// and the shipped render defaults.
#pragma once

#include "FrameFixture.h"
#include "matcore9/MatCore.h"

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

    // (type, stage, state, value) of every node of a list.
    static std::vector<std::vector<DWORD>> nodes(const StateList& list)
    {
        std::vector<std::vector<DWORD>> out;
        for (const StateNode* n = list.First; n; n = n->Next) out.push_back({n->Type, n->Stage, n->State, n->Value});
        return out;
    }
};
