// The effects' vertex buffers across a lost and restored device on the scripted card.
#include "FrameFixture.h"
#include "d3dcore9/DXWrappers.h"
#include "effects/VBManager.h"

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

class VBManagerTest : public FrameFixture {
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        ASSERT_TRUE(bringUp());
    }
    // One frame that finds the device in the state given.
    static void frameWith(HRESULT cooperation)
    {
        pt::queueTestCooperativeLevel(cooperation);
        D3DCore.BeginScene(true, false);
        D3DCore.EndScene(true);
        D3DCore.Present(true);
    }
};

TEST_F(VBManagerTest, RecordedBuffersComeBackAfterTheDeviceIsRestored)
{
    const int before = pt::d3d9LiveResources(D3DPOOL_DEFAULT);
    auto manager = std::make_unique<CVBManager>();
    IDirect3DVertexBuffer9* own = nullptr;
    ASSERT_EQ(DXCreateVertexBuffer(960, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_DEFAULT, &own), D3D_OK);
    manager->Register(960, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_DEFAULT, &own);
    IDirect3DVertexBuffer9* const* group = manager->CreateGroup(2, 64, 0, D3DFVF_XYZ, D3DPOOL_DEFAULT);
    ASSERT_NE(group, nullptr);
    frameWith(D3DERR_DEVICELOST);
    EXPECT_EQ(std::vector<IDirect3DVertexBuffer9*>(3, nullptr), std::vector<IDirect3DVertexBuffer9*>({own, group[0], group[1]}));
    frameWith(D3DERR_DEVICENOTRESET);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(pt::d3d9BufferBytes(own).size(), 960u);
    EXPECT_EQ(pt::d3d9BufferBytes(group[1]).size(), 64u);
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), before + 3);

    // A buffer the card cannot make again is reported and left empty.
    manager->Remove(&own);
    DXReleaseInterface(own);
    frameWith(D3DERR_DEVICELOST);
    pt::setD3D9Failure("CreateVertexBuffer", E_OUTOFMEMORY);
    frameWith(D3DERR_DEVICENOTRESET);
    pt::setD3D9Failure("CreateVertexBuffer", D3D_OK);
    EXPECT_EQ(2, countReports("SUCCEEDED(hr)"));
    EXPECT_EQ(nullptr, group[0]);

    frameWith(D3DERR_DEVICELOST);
    frameWith(D3DERR_DEVICENOTRESET);

    // The manager releases its groups when it goes, and its callbacks with it.
    manager.reset();
    EXPECT_EQ(pTheVBManager, nullptr);
    frameWith(D3DERR_DEVICELOST);
    frameWith(D3DERR_DEVICENOTRESET);
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), before);  // nothing leaked nor made again
}

}  // namespace
