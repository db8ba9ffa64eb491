// Volume fog on the scripted card with the shipped puff: the volume-model file and what it
// refuses, random placement on the manual clock, the drift, culling and fades as the device holds
// each puff's texture factor and world matrix, and the cloud-level map.
#include "LightingFixture.h"

#include "TestSupport.h"
#include "kestrune/VolumeFog.h"
#include "platform/testing.h"

#include <cmath>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

struct Puff {
    Vector3 at;      // the world matrix's translation
    uint32_t alpha;  // the texture factor's alpha
};
std::vector<Puff> puffs;

// Stands in for the model's draw: the puff's material and place reach the device.
void recordPuff(CModelInst*, const Vector3& at)
{
    D3DCore.SetWorldTransform(0, 0, at.x, at.y, at.z, 1);
    D3DCore.ApplyStateBlock(D3DCore.StateBlocks.GetSB(MatFindStateBlock("CloudPart")), 0, 0);
    const D3DMATRIX& world = pt::d3d9State()->Transforms.at(D3DTS_WORLD);
    puffs.push_back({Vector3(world.m[3][0], world.m[3][1], world.m[3][2]),
                     pt::d3d9State()->RenderStates[D3DRS_TEXTUREFACTOR] >> 24});
}

const std::string MODEL = "nummodels 1\n[model]\nname data\\models\\volumefog\\puff.rsm\n";
const std::string SAMPLE = MODEL + "vertices 2\ninstances 3\n[data]\npos 0 0 0\npos 100 0 50\n[end]\n[instances]\n"
                                   "pos 1000 1000 500\nrandom 2 0 0 400 76800 76800 600\n[end]\n[end]\n";

float wrappedDistance(const Vector3& a, const Vector3& b)
{
    const float dx = std::fabs(a.x - b.x), dy = std::fabs(a.y - b.y);
    return std::hypot(dx > 38400 ? 76800 - dx : dx, dy > 38400 ? 76800 - dy : dy);
}

class VolumeFogTest : public LightingFixture {
protected:
    void SetUp() override
    {
        LightingFixture::SetUp();
        for (const char* f : {"models/volumefog/puff.rsm", "models/volumefog/puff.mtl"}) copyData(f);
        ASSERT_TRUE(startFacade());
        pt::setManualClock(true);
        pt::setTime(1000);
        pt::setClockStep(0);
        crtSrand(1);
        SetVolumePuffRenderer(recordPuff);
        puffs.clear();
        testsupport::clearReports();
    }
    void TearDown() override
    {
        ReleaseVolumeFog();
        SetVolumePuffRenderer(nullptr);
        pt::setClockStep(0);
        pt::setManualClock(false);
        LightingFixture::TearDown();
    }

    bool load(const std::string& text)
    {
        m_dir.write("volumes.txt", text);
        return LoadVolumeModels("volumes.txt");
    }

    // The camera at c looking along +x, the world's z up.
    static void lookAlongX(const Vector3& c)
    {
        D3DMATRIX view{};
        view.m[0][2] = view.m[1][0] = view.m[2][1] = view.m[3][3] = 1;
        view.m[3][0] = -c.y;
        view.m[3][1] = -c.z;
        view.m[3][2] = -c.x;
        MatSetViewMatrix(view);
    }
};

TEST_F(VolumeFogTest, TheFileGivesBanksOfPuffsAndNothingIsWrittenPastAnArray)
{
    struct Row {
        std::string text;
        uint32_t vertices, instances;
        bool complete;
        std::vector<std::string> reports;
    };
    const std::string head = MODEL + "vertices 2\ninstances 2\n", data = "[data]\npos 0 0 0\npos 1,2,3\n[end]\n";
    const std::string instances = "[instances]\npos 10 10 10\npos 20000 20 20\n[end]\n";
    const Row rows[] = {
        {head + data + instances + "[end]\n", 2, 2, true, {}},
        {head + "[data]\npos 0 0 0\npos 1 2 3\npos 4 5 6\n[end]\n" + instances + "[end]\n", 2, 2, true,
         {"More pos lines than vertices"}},
        {head + data + "[instances]\npos 1 1 1\nrandom 5 0 0 0 76800 76800 0\n[end]\n[end]\n", 2, 2, true,
         {"More instances than declared"}},
        {head + "[data]\npos 0 0 0\n[end]\n" + instances + "[end]\n", 1, 2, true, {"CurrentVertex =="}},
        {head + data + instances + "[end]\n[model]\nname x\n[data]\npos 1 2 3\n[end]\n[end]\n", 2, 2, true,
         {"CurrentModel < Models"}},
        {MODEL + "[data]\npos 1 2 3\n[end]\ninstances 1\n[instances]\npos 1 1 1\n[end]\n[end]\n", 0, 1, false,
         {"Points", "DataProcessed"}},
        {head + data + instances + "[end]\nnummodels 2\ncolour red\n", 2, 2, true,
         {"Models == -1", "Unknown word in volume file: colour"}},
        {MODEL + "vertices 0\nvertices 70000\nvertices two\ninstances -3\n[end]\n", 0, 0, false,
         {"Bad count", "Count too large", "Bad count", "Bad count", "DataProcessed", "InstanceProcessed"}},
        {head + "[data]\npos 1 2\npos 1 2 x\n[end]\n" + instances + "[end]\n", 0, 2, true,
         {"Bad position", "Bad position", "CurrentVertex =="}},
    };
    for (const Row& row : rows) {
        testsupport::clearReports();
        ASSERT_TRUE(load(row.text));
        const VolumeModel* m = GetVolumeModel(0);
        ASSERT_NE(m, nullptr) << row.text;
        EXPECT_EQ(std::vector<uint32_t>({m->Vertices, m->Instances, m->Complete}),
                  std::vector<uint32_t>({row.vertices, row.instances, row.complete}))
            << row.text;
        EXPECT_EQ(testsupport::reports().size(), row.reports.size()) << row.text;
        for (const std::string& r : row.reports) EXPECT_GE(countReports(r), 1) << r;
    }
    ASSERT_TRUE(load(rows[0].text));
    const VolumeModel* m = GetVolumeModel(0);
    EXPECT_EQ(std::vector<float>({m->Points[1].z, m->Positions[1].x}), std::vector<float>({3, 20000}));
    EXPECT_NE(m->CloudPart, SB_NONE);
    EXPECT_EQ(m->Scroller, 0u);  // pass 0, stage 0

    // Cut at any line, a file keeps what it holds and reports a missing end.
    pt::setClockStep(1);
    for (size_t at = 0, n = 0; at != std::string::npos; at = SAMPLE.find('\n', at + 1), ++n) {
        testsupport::clearReports();
        ASSERT_TRUE(load(SAMPLE.substr(0, at)));
        for (int i = 0; i < 3; ++i) UpdateVolumeFog();
        const bool whole = at + 1 == SAMPLE.size();
        const VolumeModel* cut = GetVolumeModel(0);
        EXPECT_TRUE(!cut || cut->Complete == whole) << n;
        EXPECT_EQ(testsupport::reports().empty(), n < 2 || whole) << n;
    }
    testsupport::clearReports();
    EXPECT_FALSE(LoadVolumeModels("missing.txt"));
    EXPECT_EQ(countReports("File not found: missing.txt"), 1);
    ASSERT_TRUE(load("nummodels 1\n[model]\nname data\\nowhere.rsm\n[end]\n"));
    EXPECT_EQ(countReports("Model[CurrentModel].BaseModel"), 1);
}

TEST_F(VolumeFogTest, BanksKeepApartAcrossTheEdgesOrTakeTheLastCandidateAfterTenMilliseconds)
{
    pt::setClockStep(1);
    const std::string head = MODEL + "vertices 1\n[data]\npos 0 0 0\n[end]\n";
    ASSERT_TRUE(load(head + "instances 16\n[instances]\npos 100 100 0\nrandom 15 0 0 0 76800 76800 0\n[end]\n[end]\n"));
    const VolumeModel* m = GetVolumeModel(0);
    for (uint32_t i = 0; i < 16; ++i)
        for (uint32_t j = 0; j < i; ++j) EXPECT_GE(wrappedDistance(m->Positions[i], m->Positions[j]), 4000.0f) << i;
    // Every candidate in the strip along the far edge lies within 4000 of (100, 100) across it: with
    // the clock moving 1 ms a reading, the tenth candidate is the last and stays.
    crtSrand(77);
    ASSERT_TRUE(load(head + "instances 2\n[instances]\npos 100 100 0\nrandom 1 75000 0 7 76800 400 9\n[end]\n[end]\n"));
    crtSrand(77);
    Vector3 last;
    for (int k = 0; k < 10; ++k) {
        const float x = 75000 + crtRand() * 1800.0f / 32767, y = crtRand() * 400.0f / 32767;
        last.set(x, y, static_cast<float>(crtRand()));
    }
    m = GetVolumeModel(0);
    EXPECT_EQ(std::vector<float>({m->Positions[1].x, m->Positions[1].y}), std::vector<float>({last.x, last.y}));
    EXPECT_LT(wrappedDistance(m->Positions[1], m->Positions[0]), 4000.0f);
}

TEST_F(VolumeFogTest, BanksDriftAndWrapAndFadeByDistanceAndEdgeAsTheCameraSeesThem)
{
    ASSERT_TRUE(load(MODEL + "vertices 1\ninstances 6\n[data]\npos 0 0 0\n[end]\n[instances]\npos 40000 40000 0\n"
                             "pos 58000 40000 0\npos 62000 40000 0\npos 38000 40000 0\npos 41500 1500 0\n"
                             "pos 50 76790 0\n[end]\n[end]\n"));
    ASSERT_TRUE(LoadCloudLevel());  // the clock's start
    lookAlongX(Vector3(40000, 40000, 0));
    UpdateVolumeFog();
    // Ahead of the camera by 1158: s = -200 - trunc((1158 - 100) x -0.25) = 64, alpha 64 x 1.424581,
    // drawn 4 x (200 + 64) back. 18000 away: s at its 179, faded to 3.5 - 3 = 0.5. 22000 away: not
    // drawn; 2000 behind: s < 0.
    ASSERT_EQ(puffs.size(), 2u);
    EXPECT_EQ(std::vector<uint32_t>({puffs[0].alpha, puffs[1].alpha}), std::vector<uint32_t>({91, 127}));
    EXPECT_FLOAT_EQ(puffs[0].at.x, 40000 + 1158 - 4 * 264);
    EXPECT_FLOAT_EQ(puffs[1].at.x, 58000 + 1158 - 4 * 379);
    // 1500 from the edge: a quarter.
    puffs.clear();
    lookAlongX(Vector3(40000, 1500, 0));
    UpdateVolumeFog();
    ASSERT_EQ(puffs.size(), 1u);
    EXPECT_EQ(puffs[0].alpha, 63u);

    // A second later every bank has moved 125 towards -x and +y, across the edges where it had to;
    // the frame's second viewport moves nothing.
    pt::advanceTime(1000);
    UpdateVolumeFog();
    UpdateVolumeFog();
    const VolumeModel* m = GetVolumeModel(0);
    EXPECT_EQ(std::vector<float>({m->Positions[0].x, m->Positions[0].y, m->Positions[5].x, m->Positions[5].y}),
              std::vector<float>({40000 - 125, 40000 + 125, 76800 + 50 - 125, 76790 + 125 - 76800}));
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(VolumeFogTest, TheCloudLevelIsTheImagesFirstBytesAndOnly256By256IsTaken)
{
    ASSERT_TRUE(LoadCloudLevel());
    const std::string tga = m_dir.read("data/models/volumefog/cloudlevel.tga");
    const uint8_t* map = GetCloudLevel();
    for (int y = 0; y < 256; y += 37)
        for (int x = 0; x < 256; x += 29)
            EXPECT_EQ(map[x * 256 + 255 - y], static_cast<uint8_t>(tga[18 + (y * 256 + x) * 3])) << x << " " << y;
    const std::vector<uint8_t> before(map, map + 256 * 256);
    std::string narrow = tga.substr(0, 18 + 128 * 256 * 3);
    narrow[12] = static_cast<char>(128);
    narrow[13] = 0;
    const std::pair<std::string, std::string> rows[] = {
        {narrow, "SizeX == 256"},
        {tga.substr(0, 18 + 1000), ""},  // the image reader's own report
        {"", "File not found: data\\models\\volumefog\\cloudlevel.tga"},
    };
    for (const auto& [file, report] : rows) {
        testsupport::clearReports();
        std::filesystem::remove(m_dir.file("data/models/volumefog/cloudlevel.tga"));
        if (!file.empty()) m_dir.write("data/models/volumefog/cloudlevel.tga", file);
        EXPECT_FALSE(LoadCloudLevel());
        EXPECT_GE(testsupport::reports().size(), 1u);
        EXPECT_EQ(report.empty() ? 1 : countReports(report), 1) << report;
        EXPECT_TRUE(std::equal(before.begin(), before.end(), GetCloudLevel()));
    }
}

}  // namespace
