#include "CardFixture.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

EnumFilter gameFilter()
{
    EnumFilter f;
    f.MinWidth = 640;
    f.MinHeight = 480;
    f.MaxWidth = 1600;
    f.MaxHeight = 1200;
    f.AllowHWDeviceOnSecondary = 0;
    return f;
}

DXDevice* firstDevice() { return DXSetup.Adapters.First ? DXSetup.Adapters.First->Devices.First : nullptr; }

std::vector<DWORD> rates(const DXModeType* mt)
{
    std::vector<DWORD> out;
    for (DXRefreshRate* r = mt->RefreshRates.First; r; r = r->Next) out.push_back(r->Rate);
    return out;
}

class DXSetupTest : public CardFixture {};

TEST_F(DXSetupTest, LoadResultCodes)
{
    pt::setLibraryMissing("d3d9.dll", true);
    EXPECT_EQ(DXSetup::Load(), 0);  // falls back to the debug runtime
    DXSetup::ResetObject();
    releaseInterfaces();
    pt::setLibraryMissing("d3d9d.dll", true);
    EXPECT_EQ(DXSetup::Load(), 1);
    pt::setLibraryMissing("d3d9.dll", false);
    pt::setExportMissing("d3d9.dll", "Direct3DCreate9", true);
    DXSetup::ResetObject();
    EXPECT_EQ(DXSetup::Load(), 2);
    pt::setExportMissing("d3d9.dll", "Direct3DCreate9", false);
    pt::setDirect3DCreateFails(true);
    DXSetup::ResetObject();
    EXPECT_EQ(DXSetup::Load(), 2);
    EXPECT_EQ(DXInterface.ID3D, nullptr);
    pt::setDirect3DCreateFails(false);
    card().IdentifierFails = true;
    DXSetup::ResetObject();
    EXPECT_EQ(DXSetup::Load(), 0);
    EXPECT_EQ(DXInterface.AdapterIdentifierValid, 0);
    EXPECT_EQ(DXSetup.DDrawLoaded, 1);
}

TEST_F(DXSetupTest, FourCCCountsCommentsAndBadCounts)
{
    m_dir.write("data/4CC.txt", "\n; comment\n// another\n3\nDXT1\n\n; in between\nDXT3\nDXT5\nDXT2\nUYVY\n");
    DXSetup.Read4CC();
    ASSERT_EQ(DXSetup.Total4CC, 3);
    EXPECT_EQ(DXSetup.FourCC[0], 0x31545844u);
    EXPECT_EQ(DXSetup.FourCC[2], static_cast<DWORD>(D3DFMT_DXT5));
    EXPECT_EQ(testsupport::reports().size(), 0u);

    m_dir.write("data/4CC.txt", "5\nDXT1\nDX\nDXT5\n");
    DXSetup.Read4CC();
    EXPECT_EQ(DXSetup.Total4CC, 3);
    EXPECT_EQ(DXSetup.FourCC[1], 0x5844u);  // a short code is padded with zero bytes
    EXPECT_EQ(countReports("Next4CC == Total4CC"), 1);

    m_dir.write("data/4CC.txt", "-4\nDXT1\n");
    DXSetup.Read4CC();
    EXPECT_EQ(DXSetup.Total4CC, 0);
    EXPECT_EQ(countReports("Total4CC >= 0"), 1);

    m_dir.write("data/4CC.txt", "4000000000\nDXT1\nDXT3\n");
    DXSetup.Read4CC();
    EXPECT_EQ(DXSetup.Total4CC, 2);

    std::remove((m_dir.path() + "/data/4CC.txt").c_str());
    DXSetup.Read4CC();
    EXPECT_EQ(DXSetup.Total4CC, 0);
    EXPECT_EQ(countReports("Failed to load data\\4cc.txt"), 1);
}

TEST_F(DXSetupTest, DefaultCardEnumeratesUnderTheGameFilter)
{
    ASSERT_TRUE(enumerate(gameFilter()));
    ASSERT_EQ(DXSetup.Adapters.Objects, 1);
    DXAdapter* a = DXSetup.Adapters.First;
    EXPECT_STREQ(a->Description, card().Identifier.Description);
    EXPECT_EQ(a->HasHardwareTnL, 1);
    ASSERT_EQ(a->Devices.Objects, 1);
    DXDevice* d = a->Devices.First;
    EXPECT_EQ(d->DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(d->NotSupported, 0u);
    EXPECT_EQ(d->CanDoWindowed, 1);
    EXPECT_EQ(d->DesktopWidth, card().Desktop.Width);
    // Sorted by width then height; nothing outside 640x480..1600x1200.
    DWORD lastW = 0, lastH = 0;
    for (DXMode* m = d->Modes.First; m; m = m->Next) {
        EXPECT_TRUE(m->Width > lastW || (m->Width == lastW && m->Height > lastH));
        EXPECT_LE(m->Width, 1600u);
        ASSERT_EQ(m->ModeTypes.Objects, 2);
        EXPECT_EQ(m->ModeTypes.First->Format, D3DFMT_R5G6B5);
        EXPECT_EQ(rates(m->ModeTypes.First), std::vector<DWORD>{0});
        DXZBuffer* z = m->ModeTypes.First->ZBuffers.First;
        ASSERT_NE(z, nullptr);
        EXPECT_EQ(z->Format, D3DFMT_D24S8);
        EXPECT_EQ(z->StencilBits, 8);
        lastW = m->Width;
        lastH = m->Height;
    }
    EXPECT_EQ(d->Modes.Objects, 9);
    EXPECT_FALSE(DXSetup::Enumerate());  // already filled
    DXSetup::Shutdown();
    EXPECT_EQ(DXInterface.ID3D, nullptr);
    EXPECT_EQ(DXSetup.Adapters.Objects, 0);
}

TEST_F(DXSetupTest, WithoutFourCCNoCardPasses)
{
    std::remove((m_dir.path() + "/data/4CC.txt").c_str());
    EXPECT_FALSE(enumerate(gameFilter()));
    EXPECT_EQ(countReports("Not Supported: Card doesn't support DXT1"), 1);
    EXPECT_EQ(countReports("Not Supported: Card doesn't support DXT5"), 1);
    EXPECT_EQ(countReports("Not Supported: Card doesn't support 8888"), 0);
    EXPECT_EQ(countReports("No supported 3D card found"), 1);
}

TEST_F(DXSetupTest, ShortfallsAreReportedAndTheDeviceDropped)
{
    caps().MaxSimultaneousTextures = 1;
    caps().MaxTextureWidth = 1024;
    caps().MaxStreams = 2;
    caps().PrimitiveMiscCaps = 0;
    card().TextureFormats = {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5};
    EXPECT_FALSE(enumerate(gameFilter()));
    EXPECT_EQ(countReports("Not Supported: Card only supports 1 textures"), 1);
    EXPECT_EQ(countReports("Not Supported: Card only supports 1024 texture width"), 1);
    EXPECT_EQ(countReports("Not Supported: Card only supports 2 streams"), 1);
    EXPECT_EQ(countReports("Not Supported: Card doesn't support blendop"), 1);
    EXPECT_EQ(countReports("Not Supported: Card doesn't support 1555"), 1);
    EXPECT_EQ(countReports("Not Supported: Card doesn't support 4444"), 1);
}

TEST_F(DXSetupTest, ModesKeepExactlyTwoFormatsAndDropA8WithX8)
{
    card().Modes = {{640, 480, 60, D3DFMT_R5G6B5},   {640, 480, 60, D3DFMT_X1R5G5B5}, {640, 480, 60, D3DFMT_X8R8G8B8},
                    {800, 600, 60, D3DFMT_R5G6B5},   {800, 600, 60, D3DFMT_X8R8G8B8}, {800, 600, 60, D3DFMT_A8R8G8B8},
                    {1024, 768, 60, D3DFMT_A1R5G5B5}, {1024, 768, 60, D3DFMT_X8R8G8B8}};
    card().RenderTargetFormats = {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5};
    ASSERT_TRUE(enumerate(gameFilter()));
    DXDevice* d = firstDevice();
    ASSERT_EQ(d->Modes.Objects, 1);  // 640x480 has three, 1024x768 one (A1R5G5B5 never passes)
    DXMode* m = d->Modes.First;
    EXPECT_EQ(m->Width, 800u);
    EXPECT_EQ(m->ModeTypes.Last->Format, D3DFMT_X8R8G8B8);
}

TEST_F(DXSetupTest, RefreshRatesAscendWithoutDuplicatesAndLeadWithZero)
{
    card().Modes = {{800, 600, 85, D3DFMT_R5G6B5}, {800, 600, 60, D3DFMT_R5G6B5}, {800, 600, 85, D3DFMT_R5G6B5},
                    {800, 600, 75, D3DFMT_X8R8G8B8}, {800, 600, 100, D3DFMT_X8R8G8B8}};
    EnumFilter f = gameFilter();
    f.AllowRefreshRates = 1;
    f.MaxRefresh = 90;
    ASSERT_TRUE(enumerate(f));
    DXMode* m = firstDevice()->Modes.First;
    EXPECT_EQ(rates(m->ModeTypes.First), (std::vector<DWORD>{0, 60, 85}));
    EXPECT_EQ(rates(m->ModeTypes.Last), (std::vector<DWORD>{0, 75}));
}

TEST_F(DXSetupTest, MultisampleFlagsFollowTheQualityLevels)
{
    card().QualityLevels = {{D3DFMT_R5G6B5, 3}};
    ASSERT_TRUE(enumerate(gameFilter()));
    DXModeType* sixteen = firstDevice()->Modes.First->ModeTypes.First;
    DXModeType* thirtyTwo = firstDevice()->Modes.First->ModeTypes.Last;
    BYTE expected[17] = {1, 0, 1, 1, 1, 0};
    EXPECT_EQ(std::memcmp(sixteen->MultiSample, expected, 17), 0);
    BYTE none[17] = {1};
    EXPECT_EQ(std::memcmp(thirtyTwo->MultiSample, none, 17), 0);
}

TEST_F(DXSetupTest, AdaptersAndDeviceTypesFollowTheFilter)
{
    pt::D3D9DeviceType sw = card().DeviceTypes[0];
    sw.Type = D3DDEVTYPE_SW;
    sw.Caps.DeviceType = D3DDEVTYPE_SW;
    sw.Caps.DevCaps = 0;
    sw.Caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    pt::D3D9DeviceType ref = sw;
    ref.Type = D3DDEVTYPE_REF;
    ref.Caps.DeviceType = D3DDEVTYPE_REF;
    ref.Caps.MaxTextureWidth = 3000;
    ref.Caps.MaxTextureHeight = 2500;
    card().DeviceTypes = {ref, card().DeviceTypes[0], sw};
    pt::D3D9Adapter second = card();
    pt::D3D9Adapter third = card();
    third.IdentifierFails = true;
    pt::d3d9Config().Adapters.push_back(second);
    pt::d3d9Config().Adapters.push_back(third);

    EnumFilter f = gameFilter();
    f.AllowSWDeviceOnPrimary = 1;
    f.AllowRefDeviceOnPrimary = 1;
    f.AllowHWDeviceOnSecondary = 1;
    ASSERT_TRUE(enumerate(f));
    ASSERT_EQ(DXSetup.Adapters.Objects, 2);
    EXPECT_EQ(DXSetup.Adapters.Last->Adapter, 1u);
    EXPECT_EQ(DXSetup.Adapters.Last->Devices.Objects, 1);
    DXAdapter* a = DXSetup.Adapters.First;
    ASSERT_EQ(a->Devices.Objects, 3);
    EXPECT_EQ(a->Devices[0]->DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(a->Devices[1]->DeviceType, D3DDEVTYPE_SW);
    DXDevice* r = a->Devices[2];
    EXPECT_EQ(r->DeviceType, D3DDEVTYPE_REF);
    EXPECT_EQ(r->IsReference, 1);
    EXPECT_EQ(r->MaxTextureWidth, 2048u);
    EXPECT_EQ(r->MaxActiveLights, -1);
    EXPECT_EQ(r->VertexShaders, 0);
    EXPECT_EQ(a->Devices[0]->IsHardware, 1);
    EXPECT_EQ(a->Devices[3], nullptr);  // indexing past the end gives nothing
}

std::vector<D3DFORMAT> depthFormats(const DXModeType* mt)
{
    std::vector<D3DFORMAT> out;
    for (DXZBuffer* z = mt->ZBuffers.First; z; z = z->Next) out.push_back(z->Format);
    return out;
}

TEST_F(DXSetupTest, DepthFormatsAreProbedInOrderThroughTheFilter)
{
    card().DepthFormats = {D3DFMT_D16, D3DFMT_D15S1, D3DFMT_D24X8, D3DFMT_D24X4S4, D3DFMT_D24S8, D3DFMT_D32};
    ASSERT_TRUE(enumerate(gameFilter()));
    DXModeType* mt = firstDevice()->Modes.First->ModeTypes.Last;
    EXPECT_EQ(depthFormats(mt), (std::vector<D3DFORMAT>{D3DFMT_D32, D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D24X8,
                                                        D3DFMT_D16, D3DFMT_D15S1}));
    EXPECT_EQ(mt->ZBuffers.First->Next->StencilBits, 8);
    EXPECT_EQ(mt->ZBuffers.Last->DepthBits, 15);
    DXSetup::Shutdown();

    EnumFilter f = gameFilter();
    f.AllowStencil = 0;
    f.MinZ = 16;
    ASSERT_TRUE(enumerate(f));
    EXPECT_EQ(depthFormats(firstDevice()->Modes.First->ModeTypes.Last),
              (std::vector<D3DFORMAT>{D3DFMT_D32, D3DFMT_D24X8, D3DFMT_D16}));
    DXSetup::Shutdown();

    f = gameFilter();
    f.MinStencil = 4;
    ASSERT_TRUE(enumerate(f));
    EXPECT_EQ(depthFormats(firstDevice()->Modes.First->ModeTypes.Last),
              (std::vector<D3DFORMAT>{D3DFMT_D24S8, D3DFMT_D24X4S4}));
    DXSetup::Shutdown();

    // Without 16-bit modes no mode keeps two formats.
    f = gameFilter();
    f.Allow16BitMode = 0;
    EXPECT_FALSE(enumerate(f));
}

TEST_F(DXSetupTest, WithoutA8R8G8B8TexturesTheSpecialLayoutsGo)
{
    card().TextureFormats = {D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_L8,
                             D3DFMT_DXT1,   D3DFMT_DXT3,     D3DFMT_DXT5};
    EnumFilter f = gameFilter();
    f.AllowL8Format = 1;
    EXPECT_FALSE(enumerate(f));
    EXPECT_EQ(countReports("Not Supported: Card doesn't support 8888"), 1);
    EXPECT_EQ(countReports("Not Supported: Card doesn't support 565"), 0);
    EXPECT_EQ(countReports("Not Supported: Card doesn't support DXT1"), 1);
    EXPECT_EQ(countReports("Not Supported: Card doesn't support DXT5"), 1);
}

TEST_F(DXSetupTest, ADesktopWithoutDepthFormatsCannotServeAWindow)
{
    card().Desktop.Format = D3DFMT_A8R8G8B8;
    for (D3DFORMAT d : card().DepthFormats) card().DepthMismatches.push_back({D3DFMT_A8R8G8B8, d});
    ASSERT_TRUE(enumerate(gameFilter()));
    DXDevice* d = firstDevice();
    EXPECT_EQ(d->DesktopMode.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(d->DesktopMode.ZBuffers.Objects, 0);
    EXPECT_GT(d->DesktopMode.TextureFormats.Objects, 0);
    EXPECT_EQ(d->CanDoWindowed, 0);
    EXPECT_EQ(d->DesktopWidth, 0u);
    EXPECT_EQ(d->DesktopHeight, 0u);
    DXSetup::Shutdown();

    card().DepthMismatches.clear();
    card().DesktopFails = true;
    ASSERT_TRUE(enumerate(gameFilter()));
    EXPECT_EQ(firstDevice()->CanDoWindowed, 0);
}

TEST_F(DXSetupTest, FormatFromBitCodeMapsTheNineCodes)
{
    EXPECT_EQ(FormatFromBitCode(565, false), D3DFMT_R5G6B5);
    EXPECT_EQ(FormatFromBitCode(8888, false), D3DFMT_A8R8G8B8);
    EXPECT_EQ(FormatFromBitCode(1555, false), D3DFMT_A1R5G5B5);
    EXPECT_EQ(FormatFromBitCode(332, false), D3DFMT_R3G3B2);
    EXPECT_EQ(FormatFromBitCode(8332, false), D3DFMT_A8R3G3B2);
    EXPECT_EQ(FormatFromBitCode(D3DFMT_DXT3, false), D3DFMT_DXT3);
    EXPECT_EQ(FormatFromBitCode(41, false), D3DFMT_P8);
    EXPECT_EQ(FormatFromBitCode(8888, true), D3DFMT_UNKNOWN);
}

}  // namespace
