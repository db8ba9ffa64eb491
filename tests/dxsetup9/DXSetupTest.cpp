#include "CardFixture.h"

#include "utility/RunLog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
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
    // Without the runtime the debug one is taken; without either, 1; without the entry or when it
    // fails, 2; an adapter without an identifier still loads.
    const std::vector<std::function<void()>> steps = {
        [] { pt::setLibraryMissing("d3d9.dll", true); },
        [] { pt::setLibraryMissing("d3d9d.dll", true); },
        [] { pt::setLibraryMissing("d3d9.dll", false), pt::setExportMissing("d3d9.dll", "Direct3DCreate9", true); },
        [] { pt::setExportMissing("d3d9.dll", "Direct3DCreate9", false), pt::setDirect3DCreateFails(true); },
        [] { pt::setDirect3DCreateFails(false), card().IdentifierFails = true; }};
    std::vector<int> codes;
    for (const auto& step : steps) {
        DXSetup::ResetObject();
        releaseInterfaces();
        step();
        codes.push_back(DXSetup::Load());
    }
    EXPECT_EQ(codes, std::vector<int>({0, 1, 2, 2, 0}));
    EXPECT_EQ(std::make_pair(0, 1), std::make_pair(int(DXInterface.AdapterIdentifierValid), int(DXSetup.DDrawLoaded)));
}

TEST_F(DXSetupTest, FourCCCountsCommentsAndBadCounts)
{
    // The count first; comments and blank lines anywhere; a short code padded with zero bytes.
    const struct {
        const char* text;  // null: no file
        std::vector<DWORD> codes;
        const char* report;
    } cases[] = {
        {"\n; comment\n// another\n3\nDXT1\n\n; in between\nDXT3\nDXT5\nDXT2\nUYVY\n",
         {0x31545844u, D3DFMT_DXT3, D3DFMT_DXT5}, nullptr},
        // A list cut short says which format the card will not be asked for; the count's check follows.
        {"5\nDXT1\nDX\nDXT5\n", {D3DFMT_DXT1, 0x5844u, D3DFMT_DXT5},
         "DXT3 was not read from data\\4CC.txt, so the card was not asked for it"},
        {"5\nDXT1\nDXT3\nDXT5\n", {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}, "Next4CC == Total4CC"},
        {"-4\nDXT1\n", {}, "Total4CC >= 0"},
        {"4000000000\nDXT1\nDXT3\n", {D3DFMT_DXT1, D3DFMT_DXT3},
         "DXT5 was not read from data\\4CC.txt, so the card was not asked for it"},
        {nullptr, {}, "Failed to load data\\4cc.txt"},
    };
    for (const auto& c : cases) {
        testsupport::clearReports();
        resetRunLogCount();  // each a run of its own
        if (c.text) m_dir.write("data/4CC.txt", c.text);
        else std::remove((m_dir.path() + "/data/4CC.txt").c_str());
        DXSetup.Read4CC();
        EXPECT_EQ(std::vector<DWORD>(DXSetup.FourCC, DXSetup.FourCC + DXSetup.Total4CC), c.codes) << (c.text ? c.text : "none");
        EXPECT_EQ(testsupport::reports().size(), c.report ? 1u : 0u);
        if (c.report) {
            EXPECT_EQ(countReports(c.report), 1);
            EXPECT_EQ(countReports("While reading data\\4CC.txt") + countReports("Failed to load data\\4cc.txt") +
                          countReports("was not read from data\\4CC.txt"),
                      1);
        }
    }
}

TEST_F(DXSetupTest, DefaultCardEnumeratesUnderTheGameFilter)
{
    ASSERT_TRUE(enumerate(gameFilter()));
    ASSERT_EQ(DXSetup.Adapters.Objects, 1);
    DXAdapter* a = DXSetup.Adapters.First;
    EXPECT_STREQ(a->Description, card().Identifier.Description);
    ASSERT_EQ(a->Devices.Objects, 1);
    DXDevice* d = a->Devices.First;
    EXPECT_EQ(std::vector<DWORD>({a->HasHardwareTnL, DWORD(d->DeviceType), d->NotSupported, d->CanDoWindowed, d->DesktopWidth}),
              std::vector<DWORD>({1, D3DDEVTYPE_HAL, 0, 1, card().Desktop.Width}));
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
        EXPECT_EQ(std::make_pair(z->Format, int(z->StencilBits)), std::make_pair(D3DFMT_D24S8, 8));
        lastW = m->Width;
        lastH = m->Height;
    }
    EXPECT_EQ(d->Modes.Objects, 9);
    EXPECT_FALSE(DXSetup::Enumerate());  // already filled
    DXSetup::Shutdown();
    EXPECT_EQ(std::make_pair(static_cast<IDirect3D9*>(nullptr), 0), std::make_pair(DXInterface.ID3D, int(DXSetup.Adapters.Objects)));
}

TEST_F(DXSetupTest, ShortfallsAreReportedAndTheDeviceDropped)
{
    const std::string no = "Not Supported: Card doesn't support ", only = "Not Supported: Card only supports ";
    const struct {
        std::function<void()> spoil;
        std::vector<std::string> reports;  // each once; the rest of the shortfalls never
        bool allowL8 = false;
        std::vector<std::string> never = {};  // what follows from a report already made
    } cases[] = {
        {[] { caps().MaxSimultaneousTextures = 1, caps().MaxTextureWidth = 1024, caps().MaxStreams = 2;
              caps().PrimitiveMiscCaps = 0;
              card().TextureFormats = {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}; },
         {only + "1 textures", only + "1024 texture width", only + "2 streams", no + "blendop", no + "1555", no + "4444"}},
        // Without the list of compressed formats no card passes, and the list is what is said.
        {[this] { std::remove((m_dir.path() + "/data/4CC.txt").c_str()); },
         {"Failed to load data\\4cc.txt", "No supported 3D card found"}, false, {"DXT1", "DXT3", "DXT5"}},
        // The list's fault, not the card's: no claim that the card lacks the format.
        {[this] { m_dir.write("data/4CC.txt", "three\nDXT1\nDXT3\nDXT5\n"); },
         {"DXT1 was not read from data\\4CC.txt, so the card was not asked for it", "No supported 3D card found"},
         false, {"DXT3", "DXT5", no + "DXT1"}},
        // Without A8R8G8B8 textures the special layouts go.
        {[] { card().TextureFormats = {D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_L8, D3DFMT_DXT1,
                                       D3DFMT_DXT3, D3DFMT_DXT5}; },
         {no + "8888", no + "DXT1", no + "DXT5"}, true},
    };
    for (const auto& c : cases) {
        freshCard();
        testsupport::clearReports();
        resetRunLogCount();
        c.spoil();
        EnumFilter f = gameFilter();
        f.AllowL8Format = c.allowL8;
        EXPECT_FALSE(enumerate(f));
        for (const std::string& report : c.reports) EXPECT_EQ(countReports(report), 1) << report;
        for (const std::string& never : c.never) EXPECT_EQ(countReports(never), 0) << never;
        for (const char* never : {"8888", "565"})
            if (std::find(c.reports.begin(), c.reports.end(), no + never) == c.reports.end()) {
                EXPECT_EQ(countReports(no + never), 0) << never;
            }
    }

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
    EXPECT_EQ(std::make_pair(800u, D3DFMT_X8R8G8B8), std::make_pair(d->Modes.First->Width, d->Modes.First->ModeTypes.Last->Format));
}

TEST_F(DXSetupTest, RefreshRatesAscendWithoutDuplicatesAndLeadWithZero)
{
    card().Modes = {{800, 600, 85, D3DFMT_R5G6B5}, {800, 600, 60, D3DFMT_R5G6B5}, {800, 600, 85, D3DFMT_R5G6B5},
                    {800, 600, 75, D3DFMT_X8R8G8B8}, {800, 600, 100, D3DFMT_X8R8G8B8}};
    EnumFilter f = gameFilter();
    f.AllowRefreshRates = 1;
    f.MaxRefresh = 85;  // a rate at the limit stays

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
    EXPECT_EQ(std::make_pair(1u, 1), std::make_pair(DXSetup.Adapters.Last->Adapter, int(DXSetup.Adapters.Last->Devices.Objects)));
    DXAdapter* a = DXSetup.Adapters.First;
    ASSERT_EQ(a->Devices.Objects, 3);
    EXPECT_EQ(std::vector<D3DDEVTYPE>({D3DDEVTYPE_HAL, D3DDEVTYPE_SW, D3DDEVTYPE_REF}),
              std::vector<D3DDEVTYPE>({a->Devices[0]->DeviceType, a->Devices[1]->DeviceType, a->Devices[2]->DeviceType}));
    // The reference device: its texture width held to 2048, lights unlimited, no vertex shaders.
    const DXDevice* r = a->Devices[2];
    EXPECT_EQ(std::vector<int64_t>({r->IsReference, r->MaxTextureWidth, r->MaxActiveLights, r->VertexShaders, a->Devices[0]->IsHardware}),
              std::vector<int64_t>({1, 2048, -1, 0, 1}));
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
    EXPECT_EQ(std::make_pair(8, 15), std::make_pair(int(mt->ZBuffers.First->Next->StencilBits), int(mt->ZBuffers.Last->DepthBits)));
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

TEST_F(DXSetupTest, ADesktopWithoutDepthFormatsCannotServeAWindow)
{
    card().Desktop.Format = D3DFMT_A8R8G8B8;
    for (D3DFORMAT d : card().DepthFormats) card().DepthMismatches.push_back({D3DFMT_A8R8G8B8, d});
    ASSERT_TRUE(enumerate(gameFilter()));
    DXDevice* d = firstDevice();
    EXPECT_EQ(d->DesktopMode.Format, D3DFMT_A8R8G8B8);
    EXPECT_GT(d->DesktopMode.TextureFormats.Objects, 0);
    EXPECT_EQ(std::vector<DWORD>({DWORD(d->DesktopMode.ZBuffers.Objects), d->CanDoWindowed, d->DesktopWidth, d->DesktopHeight}),
              std::vector<DWORD>(4, 0));
    DXSetup::Shutdown();

    card().DepthMismatches.clear();
    card().DesktopFails = true;
    ASSERT_TRUE(enumerate(gameFilter()));
    EXPECT_EQ(firstDevice()->CanDoWindowed, 0);
}

TEST_F(DXSetupTest, FormatFromBitCodeMapsTheNineCodes)
{
    const std::pair<DWORD, D3DFORMAT> codes[] = {{565, D3DFMT_R5G6B5},   {8888, D3DFMT_A8R8G8B8}, {1555, D3DFMT_A1R5G5B5},
                                                 {332, D3DFMT_R3G3B2},   {8332, D3DFMT_A8R3G3B2}, {D3DFMT_DXT3, D3DFMT_DXT3},
                                                 {41, D3DFMT_P8}};
    for (auto [code, format] : codes) EXPECT_EQ(FormatFromBitCode(code, false), format) << code;
    EXPECT_EQ(FormatFromBitCode(8888, true), D3DFMT_UNKNOWN);
}

}  // namespace
