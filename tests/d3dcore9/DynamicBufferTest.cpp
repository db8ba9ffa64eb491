#include "FrameFixture.h"

#include "d3dcore9/FVFFormat.h"

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
    // Normal, diffuse, specular in that order; texture sets are two floats whatever the size bits.
    FVFFormat f = analysed(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | 0x200 | 0x30000);
    EXPECT_EQ(std::vector<uint32_t>({f.NormalOffset, f.DiffuseOffset, f.SpecularOffset, f.TexOffset[1], f.Size}),
              std::vector<uint32_t>({12, 24, 28, 40, 48}));
    f = analysed(0x00A);  // three blend weights
    EXPECT_EQ(std::vector<uint32_t>({uint32_t(f.Weights), f.WeightOffset, f.Size}), std::vector<uint32_t>({3, 12, 24}));
    // Zero and more than eight texture sets are invalid.
    EXPECT_FALSE(analysed(0x4002 | D3DFVF_DIFFUSE).FormatValid);
    EXPECT_FALSE(analysed(0).FormatValid);
    EXPECT_FALSE(analysed(D3DFVF_XYZ | 0x900).FormatValid);

    // Merging takes the union.
    FVFFormat a = analysed(D3DFVF_XYZ | D3DFVF_DIFFUSE | 0x100);
    EXPECT_TRUE(a.Merge(analysed(0x008 | D3DFVF_NORMAL | 0x200)));
    EXPECT_EQ(a.Size, 20u + 12 + 4 + 16);
    FVFFormat rhw = analysed(D3DFVF_XYZRHW);
    EXPECT_FALSE(rhw.Merge(analysed(D3DFVF_XYZ)));
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
    EXPECT_EQ(b, 1);
    EXPECT_EQ(D3DCore.CreateDynamicVertexBuffer(0x144), a);
    EXPECT_STREQ(vb(b).Name, "XYZ+DIFFUSE+NORMAL+SPECULAR+TEX2");
    EXPECT_STREQ(vb(d).Name, "XYZRHW");  // both position bits are set
    EXPECT_EQ(vb(a).MaxVertices, 12000u);
    EXPECT_EQ(vb(c).MaxVertices, 900u);

    // Sixteen formats fit; a seventeenth is refused with -1 and writes nothing past the table.
    for (DWORD t = 1; t <= 12; ++t)
        EXPECT_GE(D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZRHW | D3DFVF_SPECULAR | ((t % 9) << 8) |
                                                    (t > 8 ? D3DFVF_DIFFUSE : 0)),
                  0);
    EXPECT_EQ(D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZ | D3DFVF_SPECULAR), -1);
    EXPECT_EQ(D3DCore.TotalDynamicVertexBuffers9, 16);
    // Handed out afresh after the front end lets them all go.
    D3DCore.ReleaseDynamicVertexBuffers();
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
    ASSERT_NE(v.Lock(1), nullptr);
    v.Unlock();
    EXPECT_EQ(v.FreeVertices, 11999);
    EXPECT_EQ(v.VerticesUsed, 12001u);
    std::vector<std::vector<uint64_t>> locks;
    for (const auto& l : calls("Lock")) locks.push_back({l[1], l[3]});
    EXPECT_EQ(locks, (std::vector<std::vector<uint64_t>>{{0, D3DLOCK_DISCARD}, {3000 * 28, D3DLOCK_NOOVERWRITE},
                                                         {6000 * 28, D3DLOCK_NOOVERWRITE},
                                                         {9000 * 28, D3DLOCK_NOOVERWRITE}, {0, D3DLOCK_DISCARD}}));
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
    EXPECT_EQ(v.Lock(0), nullptr);
    EXPECT_EQ(v.Lock(50000), nullptr);
    EXPECT_EQ(std::make_pair(v.NextByte, v.VerticesUsed), std::make_pair(next, used));
    ASSERT_NE(v.Lock(10), nullptr);
    EXPECT_EQ(v.Lock(10), nullptr);  // still locked
    v.Unlock();
    EXPECT_EQ(calls("Lock").size(), 2u);

    // The index buffer refuses alike, then appends and wraps with a discard.
    DynamicIB& ib = D3DCore.DynamicIndexBuffer9;
    EXPECT_EQ(ib.Lock(32769), nullptr);
    EXPECT_EQ(ib.Lock(0), nullptr);
    EXPECT_EQ(testsupport::reports().size(), 6u);
    for (uint32_t n : {30000, 2768, 6}) {
        ASSERT_NE(ib.Lock(n), nullptr);
        ib.Unlock();
    }
    EXPECT_EQ(std::make_pair(ib.NextByte, ib.IndicesUsed), std::make_pair(12u, 32774u));
    EXPECT_EQ(calls("Lock").back()[3], D3DLOCK_DISCARD);
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
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 0);
    // No device buffer to lock: refused quietly, since a lost device lasts many frames.
    EXPECT_EQ(v.Lock(10), nullptr);
    EXPECT_EQ(D3DCore.DynamicIndexBuffer9.Lock(10), nullptr);
    EXPECT_EQ(testsupport::reports().size(), 0u);

    D3DCore.RestoreLostDevice();
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 2);
    EXPECT_EQ(D3DCore.CreateDynamicVertexBuffer(0x144), h);
    // The write position survives: the next lock appends.
    pt::clearD3D9Calls();
    ASSERT_NE(v.Lock(10), nullptr);
    v.Unlock();
    ASSERT_EQ(calls("Lock").size(), 1u);
    EXPECT_EQ(calls("Lock")[0][1], 100u * 28);
}

}  // namespace
