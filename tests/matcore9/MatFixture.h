// The material library on the scripted card: a device, the name tables and the shipped render
// defaults, in a folder of its own.
#pragma once

#include "TestSupport.h"
#include "d3dcore9/D3DCore.h"
#include "matcore9/MatCore.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

class MatFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::resetD3D9();
        DXSetup::ResetObject();
        D3DCore::ResetObject();
        m_cwd = std::make_unique<testsupport::ScopedCwd>(m_dir.path());
        m_dir.write("data/4CC.txt", "3\nDXT1\nDXT3\nDXT5\n");
        std::ifstream shipped(VELDRANE_DATA "/renderdefault.txt");
        std::stringstream text;
        text << shipped.rdbuf();
        m_dir.write("data/renderdefault.txt", text.str());
        MatCore.Warnings = 0;
        testsupport::clearReports();
    }

    void TearDown() override
    {
        if (D3DCore.DeviceActive) {
            D3DCore.StateBlocks.ReleaseAll();
            D3DCore.LetterboxBlock = SB_NONE;
            for (auto& row : D3DCore.D3DCoreFunc)
                for (auto& slot : row) slot = nullptr;
            D3DCore.ReleaseDevice();
        }
        if (D3DCore.Initialised) D3DCore.Shutdown();
        MatCore.ShutdownRenderStates();
        D3DCore::ResetObject();
        DXSetup::ResetObject();
        if (DXInterface.ID3D) DXInterface.ID3D->Release();
        DXInterface = TDXInterface{};
        m_cwd.reset();
        platform::testing::resetD3D9();
    }

    // The device on the default card at 800 x 600, then the tables and defaults.
    bool bringUp()
    {
        if (DXSetup::Load() != 0) return false;
        DXSetup::SetEnumFilter(GameEnumFilter());
        if (!D3DCore.Init()) return false;
        const int32_t mode = D3DCore.FindMode(0, 0, 800, 600);
        D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, false, 0, 0, 0);
        if (!D3DCore.CreateDevice(false, true, 1)) return false;
        MatCore.InitRenderStates();
        return true;
    }

    static const platform::testing::D3D9State& state() { return *platform::testing::d3d9State(); }

    // The trace entries of one method, in order.
    static std::vector<std::vector<uint64_t>> calls(const std::string& method)
    {
        std::vector<std::vector<uint64_t>> out;
        for (const auto& c : platform::testing::d3d9Trace())
            if (c.Method == method) out.push_back(c.Args);
        return out;
    }

    // A material of the given passes and stages, named, with nothing recorded.
    static GMaterial* material(const char* name, std::vector<DWORD> stages)
    {
        GMaterial* GM = new GMaterial();
        GM->Name = new char[std::strlen(name) + 1];
        std::strcpy(GM->Name, name);
        GM->Passes = static_cast<DWORD>(stages.size());
        for (size_t p = 0; p < stages.size(); ++p) GM->Stages[p] = stages[p];
        return GM;
    }

    // (type, stage, state, value) of every node of a list.
    static std::vector<std::vector<DWORD>> nodes(const StateList& list)
    {
        std::vector<std::vector<DWORD>> out;
        for (const StateNode* n = list.First; n; n = n->Next) out.push_back({n->Type, n->Stage, n->State, n->Value});
        return out;
    }

    testsupport::TempDir m_dir;
    std::unique_ptr<testsupport::ScopedCwd> m_cwd;
};
