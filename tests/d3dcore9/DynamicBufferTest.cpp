#include "FrameFixture.h"

#include "d3d9gl/DeviceRenderer.h"
#include "d3dcore9/FVFFormat.h"

#include <cstdlib>
#include <cstring>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

FVFFormat analysed(DWORD flags)
{
    FVFFormat f;
    f.D3DFlags = flags;
    AnalyseFVF(f);
    return f;
}

TEST(FVFFormatTest, SizesAndOffsetsFollowTheFlagsAndMergesTakeTheUnion)
{
    FVFFormat f = analysed(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | 0x100);
    EXPECT_TRUE(f.FormatValid && f.XYZ && f.RHW && f.Diffuse);
    EXPECT_EQ(f.RHWOffset, 12u);
    EXPECT_EQ(f.DiffuseOffset, 16u);
    EXPECT_EQ(f.TexOffset[0], 20u);
    EXPECT_EQ(f.Size, 28u);

    // Normal, diffuse, specular in that order; texture sets are two floats whatever the size bits.
    f = analysed(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | 0x200 | 0x30000);
    EXPECT_EQ(f.NormalOffset, 12u);
    EXPECT_EQ(f.DiffuseOffset, 24u);
    EXPECT_EQ(f.SpecularOffset, 28u);
    EXPECT_EQ(f.TexOffset[1], 40u);
    EXPECT_EQ(f.Size, 48u);

    f = analysed(0x00A);  // three blend weights
    EXPECT_EQ(f.Weights, 3);
    EXPECT_EQ(f.WeightOffset, 12u);
    EXPECT_EQ(f.Size, 24u);
    EXPECT_FALSE(f.RHW);

    EXPECT_FALSE(analysed(0x4002 | D3DFVF_DIFFUSE).FormatValid);
    EXPECT_TRUE(analysed(D3DFVF_XYZ | 0x800).FormatValid);
    // Zero and more than eight texture sets are invalid.
    testsupport::clearReports();
    EXPECT_FALSE(analysed(0).FormatValid);
    EXPECT_EQ(countReports("Error analysing FVF"), 1);
    f = analysed(D3DFVF_XYZ | 0x900);
    EXPECT_FALSE(f.FormatValid);
    EXPECT_EQ(f.TexOffset[7], 0u);

    // Merging takes the union.
    FVFFormat a = analysed(D3DFVF_XYZ | D3DFVF_DIFFUSE | 0x100);
    EXPECT_TRUE(a.Merge(analysed(0x008 | D3DFVF_NORMAL | 0x200)));
    EXPECT_EQ(a.D3DFlags, 0x008u | D3DFVF_NORMAL | D3DFVF_DIFFUSE | 0x200);
    EXPECT_EQ(a.Weights, 2);
    EXPECT_EQ(a.Size, 20u + 12 + 4 + 16);
    FVFFormat rhw = analysed(D3DFVF_XYZRHW);
    EXPECT_FALSE(rhw.Merge(analysed(D3DFVF_XYZ)));
    EXPECT_EQ(countReports("this->RHW == FVF2.RHW"), 1);
    EXPECT_EQ(rhw.D3DFlags, static_cast<DWORD>(D3DFVF_XYZRHW));
}

class DynamicBufferTest : public FrameFixture {
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        ASSERT_TRUE(bringUp());
        pt::clearD3D9Calls();
        pt::setD3D9Trace(true);
        testsupport::clearReports();
    }
    DynamicVB& vb(int32_t handle) { return D3DCore.DynamicVertexBuffer9[handle]; }
};

TEST_F(DynamicBufferTest, BuffersAreNamedAndSizedPerFormatAndSharedByHandle)
{
    D3DCore.DynamicVB9Size[0] = DynamicVBSize{D3DFVF_XYZ | D3DFVF_NORMAL, 900};
    const int32_t a = D3DCore.CreateDynamicVertexBuffer(0x144);
    const int32_t b = D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | 0x200);
    const int32_t c = D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZ | D3DFVF_NORMAL);
    const int32_t d = D3DCore.CreateDynamicVertexBuffer(0x006);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(D3DCore.CreateDynamicVertexBuffer(0x144), a);
    EXPECT_STREQ(vb(a).Name, "XYZRHW+DIFFUSE+TEX1");
    EXPECT_STREQ(vb(b).Name, "XYZ+DIFFUSE+NORMAL+SPECULAR+TEX2");
    EXPECT_STREQ(vb(d).Name, "XYZRHW");  // both position bits are set
    EXPECT_EQ(vb(a).MaxVertices, 12000u);
    EXPECT_EQ(vb(c).MaxVertices, 900u);
    const auto created = calls("CreateVertexBuffer");
    ASSERT_EQ(created.size(), 4u);
    EXPECT_EQ(created[0], (std::vector<uint64_t>{12000u * 28, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0x144,
                                                 D3DPOOL_DEFAULT}));
    EXPECT_EQ(created[2][0], 900u * 24);

    // Sixteen formats fit; a seventeenth is refused with -1 and writes nothing past the table.
    for (DWORD t = 1; t <= 12; ++t)
        EXPECT_GE(D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZRHW | D3DFVF_SPECULAR | ((t % 9) << 8) |
                                                    (t > 8 ? D3DFVF_DIFFUSE : 0)),
                  0);
    EXPECT_EQ(D3DCore.TotalDynamicVertexBuffers9, 16);
    EXPECT_EQ(D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZ | D3DFVF_SPECULAR), -1);
    EXPECT_EQ(countReports("TotalDynamicVertexBuffers9 < MAXDYNAMICVERTEXBUFFERS"), 1);
    EXPECT_EQ(D3DCore.TotalDynamicVertexBuffers9, 16);

    // Handed out afresh after the front end lets them all go.
    D3DCore.ReleaseDynamicVertexBuffers();
    EXPECT_EQ(D3DCore.TotalDynamicVertexBuffers9, 0);
    EXPECT_EQ(D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZ | D3DFVF_SPECULAR), 0);
}

TEST_F(DynamicBufferTest, LocksAppendThenWrapWithDiscard)
{
    DynamicVB& v = vb(D3DCore.CreateDynamicVertexBuffer(0x144));
    // The first lock discards: nothing is free yet.
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(v.Lock(3000), nullptr);
        v.Unlock();
    }
    EXPECT_EQ(v.LastStartVertex, 9000u);
    EXPECT_EQ(v.FreeVertices, 0);
    ASSERT_NE(v.Lock(1), nullptr);
    v.Unlock();
    EXPECT_EQ(v.LastStartVertex, 0u);
    EXPECT_EQ(v.NextByte, 28u);
    EXPECT_EQ(v.FreeVertices, 11999);
    EXPECT_EQ(v.VerticesUsed, 12001u);
    const auto locks = calls("Lock");
    ASSERT_EQ(locks.size(), 5u);
    const uint64_t flags[5] = {D3DLOCK_DISCARD, D3DLOCK_NOOVERWRITE, D3DLOCK_NOOVERWRITE, D3DLOCK_NOOVERWRITE,
                               D3DLOCK_DISCARD};
    const uint64_t offsets[5] = {0, 3000 * 28, 6000 * 28, 9000 * 28, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(locks[i][1], offsets[i]) << i;
        EXPECT_EQ(locks[i][3], flags[i]) << i;
    }
    EXPECT_EQ(locks[0][2], 3000u * 28);
    // A wrap counts the skipped tail: 11999 free, then 12000 asked over two locks.
    ASSERT_NE(v.Lock(4000), nullptr);
    v.Unlock();
    EXPECT_EQ(v.VerticesUsed, 16001u);
}

TEST_F(DynamicBufferTest, LocksBeyondTheRulesAreRefusedAndChangeNothing)
{
    DynamicVB& v = vb(D3DCore.CreateDynamicVertexBuffer(0x144));
    ASSERT_NE(v.Lock(4000), nullptr);
    v.Unlock();
    const uint32_t next = v.NextByte, used = v.VerticesUsed;
    EXPECT_EQ(v.Lock(4001), nullptr);
    EXPECT_EQ(countReports("DynamicVB lock failed on XYZRHW+DIFFUSE+TEX1: Requested 4001 vertices. VB can only hold "
                           "12000 but only 1/3 VB allowed in any one call"),
              1);
    EXPECT_EQ(v.Lock(0), nullptr);
    EXPECT_EQ(v.Lock(50000), nullptr);
    EXPECT_EQ(v.NextByte, next);
    EXPECT_EQ(v.VerticesUsed, used);
    EXPECT_FALSE(v.Locked);
    ASSERT_NE(v.Lock(10), nullptr);
    EXPECT_EQ(v.Lock(10), nullptr);  // still locked
    EXPECT_EQ(countReports("!Locked"), 1);
    v.Unlock();
    EXPECT_EQ(v.LastStartVertex, 4000u);
    EXPECT_EQ(calls("Lock").size(), 2u);

    DynamicIB& ib = D3DCore.DynamicIndexBuffer9;
    EXPECT_EQ(ib.Lock(32769), nullptr);
    EXPECT_EQ(countReports("DynamicIB lock failed: Requested 32769 indices, but IB can only hold 32768"), 1);
    EXPECT_EQ(ib.Lock(0), nullptr);
    EXPECT_FALSE(ib.Locked);
    EXPECT_EQ(ib.IndicesUsed, 0u);
}

TEST_F(DynamicBufferTest, IndexBufferAppendsAndWraps)
{
    DynamicIB& ib = D3DCore.DynamicIndexBuffer9;
    ASSERT_NE(ib.Lock(30000), nullptr);
    ib.Unlock();
    ASSERT_NE(ib.Lock(2768), nullptr);
    ib.Unlock();
    EXPECT_EQ(ib.LastByte, 60000u);
    EXPECT_EQ(ib.FreeIndices, 0);
    ASSERT_NE(ib.Lock(6), nullptr);
    ib.Unlock();
    EXPECT_EQ(ib.LastByte, 0u);
    EXPECT_EQ(ib.NextByte, 12u);
    EXPECT_EQ(ib.IndicesUsed, 32774u);
    const auto locks = calls("Lock");
    ASSERT_EQ(locks.size(), 3u);
    EXPECT_EQ(locks[1][1], 60000u);
    EXPECT_EQ(locks[1][3], D3DLOCK_NOOVERWRITE);
    EXPECT_EQ(locks[2][3], D3DLOCK_DISCARD);
}

TEST_F(DynamicBufferTest, DrawsUseTheLastLocksAndSetTheStreamOnce)
{
    DynamicVB& v = vb(D3DCore.CreateDynamicVertexBuffer(0x144));
    ASSERT_NE(v.Lock(6), nullptr);
    v.Unlock();
    ASSERT_NE(v.Lock(4), nullptr);
    v.Unlock();
    DXInterface.ID3DDevice->BeginScene();
    v.DrawTriStrip();
    v.DrawTriList(3);
    EXPECT_EQ(calls("DrawPrimitive"),
              (std::vector<std::vector<uint64_t>>{{D3DPT_TRIANGLESTRIP, 6, 2}, {D3DPT_TRIANGLELIST, 6, 1}}));
    EXPECT_EQ(pt::d3d9Calls("SetStreamSource"), 1);
    EXPECT_EQ(state().Streams[0].Buffer, v.VB);
    EXPECT_EQ(state().Streams[0].Stride, 28u);

    DynamicIB& ib = D3DCore.DynamicIndexBuffer9;
    ASSERT_NE(ib.Lock(9), nullptr);
    ib.Unlock();
    ASSERT_NE(ib.Lock(12), nullptr);
    ib.Unlock();
    // With FilledVertices -1 both counts come from the last locks; FilledIndices is ignored.
    v.DrawIndexed(ib, -1, 3);
    v.DrawIndexed(ib, 3, 6);
    EXPECT_EQ(calls("DrawIndexedPrimitive"),
              (std::vector<std::vector<uint64_t>>{{D3DPT_TRIANGLELIST, 6, 0, 4, 9, 4}, {D3DPT_TRIANGLELIST, 6, 0, 3, 9, 2}}));
    EXPECT_EQ(state().Indices, ib.IB);

    // Nothing is drawn from a locked buffer.
    ASSERT_NE(v.Lock(3), nullptr);
    v.DrawTriList();
    EXPECT_EQ(calls("DrawPrimitive").size(), 2u);
    v.Unlock();
    testsupport::clearReports();
    ASSERT_NE(ib.Lock(3), nullptr);
    v.DrawIndexed(ib, -1, 3);
    ib.Unlock();
    ib.LastIndices = 0;
    v.DrawIndexed(ib, -1, 3);
    EXPECT_EQ(calls("DrawIndexedPrimitive").size(), 2u);
    EXPECT_EQ(testsupport::countReports("!IdxList->Locked"), 1);
    EXPECT_EQ(testsupport::countReports("IdxList->LastIndices != 0"), 1);
    DXInterface.ID3DDevice->EndScene();
}

TEST_F(DynamicBufferTest, LossReleasesBuffersAndRestoreKeepsHandlesAndPositions)
{
    const int32_t h = D3DCore.CreateDynamicVertexBuffer(0x144);
    DynamicVB& v = vb(h);
    ASSERT_NE(v.Lock(100), nullptr);
    v.Unlock();
    D3DCore.LoseDevice();
    EXPECT_EQ(v.VB, nullptr);
    EXPECT_EQ(D3DCore.DynamicIndexBuffer9.IB, nullptr);
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 0);
    // No device buffer to lock: refused quietly, since a lost device lasts many frames.
    EXPECT_EQ(v.Lock(10), nullptr);
    EXPECT_EQ(D3DCore.DynamicIndexBuffer9.Lock(10), nullptr);
    EXPECT_EQ(testsupport::reports().size(), 0u);

    D3DCore.RestoreLostDevice();
    ASSERT_NE(v.VB, nullptr);
    ASSERT_NE(D3DCore.DynamicIndexBuffer9.IB, nullptr);
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 2);
    EXPECT_EQ(D3DCore.CreateDynamicVertexBuffer(0x144), h);
    // The write position survives: the next lock appends.
    pt::clearD3D9Calls();
    ASSERT_NE(v.Lock(10), nullptr);
    v.Unlock();
    const auto locks = calls("Lock");
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(locks[0][1], 100u * 28);
    EXPECT_EQ(locks[0][3], D3DLOCK_NOOVERWRITE);
    EXPECT_EQ(testsupport::reports().size(), 0u);

    D3DCore.ReleaseDevice();
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 0);
    EXPECT_STREQ(v.Name, "");
}

// Appends and a wrap drawn on the GL renderer: each quad comes from the bytes of its own lock.
class DynamicBufferPixelTest : public FrameFixture {
protected:
    void TearDown() override
    {
        FrameFixture::TearDown();
        d3d9ref::setRendererFactory(nullptr);
    }
};

TEST_F(DynamicBufferPixelTest, AppendedAndWrappedQuadsReachTheScreen)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
    ASSERT_TRUE(bringUp(false, 640, 480));
    // Room for three quads: the fourth wraps to the front with a discard.
    D3DCore.DynamicVB9Size[0] = DynamicVBSize{D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 12};
    const int32_t h = D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_GE(h, 0);
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[h];
    struct Vertex {
        float x, y, z, rhw;
        DWORD colour;
    };
    const DWORD colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
    D3DCore.SetClearColour(true, 0, 0, 0);
    D3DCore.BeginScene(true, false);
    D3DCore.SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    for (int i = 0; i < 4; ++i) {
        auto* v = static_cast<Vertex*>(vb.Lock(4));
        ASSERT_NE(v, nullptr);
        const float x = 100.0f * static_cast<float>(i);
        v[0] = {x, 0, 0.5f, 1, colours[i]};
        v[1] = {x + 50, 0, 0.5f, 1, colours[i]};
        v[2] = {x, 50, 0.5f, 1, colours[i]};
        v[3] = {x + 50, 50, 0.5f, 1, colours[i]};
        vb.Unlock();
        vb.DrawTriStrip();
    }
    EXPECT_EQ(vb.LastStartVertex, 0u);
    D3DCore.EndScene(true);
    D3DCore.Present(false);

    for (int i = 0; i < 4; ++i) EXPECT_EQ(frontPixel(100 * i + 25, 25), colours[i]) << i;
    EXPECT_EQ(frontPixel(75, 25), 0xFF000000u);
    D3DCore.ReleaseDevice();
}

}  // namespace
