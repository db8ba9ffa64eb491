// A scripted Direct3D card and a working folder with data\4CC.txt, for tests of the render core.
#pragma once

#include "TestSupport.h"
#include "dxsetup9/DXSetup.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <memory>

class CardFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_cwd = std::make_unique<testsupport::ScopedCwd>(m_dir.path());
        freshCard();
    }

    // The default card, nothing loaded, and the list of compressed formats.
    void freshCard()
    {
        releaseInterfaces();
        DXSetup::ResetObject();
        platform::testing::resetD3D9();
        m_dir.write("data/4CC.txt", "; codes\n3\nDXT1\nDXT3\nDXT5\n");
    }


    void TearDown() override
    {
        releaseInterfaces();
        DXSetup::ResetObject();
        m_cwd.reset();
        platform::testing::resetD3D9();
    }

    static void releaseInterfaces()
    {
        if (DXInterface.ID3DDevice) DXInterface.ID3DDevice->Release();
        if (DXInterface.ID3D) DXInterface.ID3D->Release();
        DXInterface = TDXInterface{};
    }

    static platform::testing::D3D9Adapter& card() { return platform::testing::d3d9Config().Adapters[0]; }
    static D3DCAPS9& caps() { return card().DeviceTypes[0].Caps; }

    // Load, filter, Init and Enumerate; the result of Enumerate.
    static bool enumerate(const EnumFilter& filter)
    {
        EXPECT_EQ(DXSetup::Load(), 0);
        DXSetup::SetEnumFilter(filter);
        DXSetup::Init();
        return DXSetup::Enumerate();
    }

    testsupport::TempDir m_dir;
    std::unique_ptr<testsupport::ScopedCwd> m_cwd;
};
