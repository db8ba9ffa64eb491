// Model files: the version gates, LOD placement, flags, classes, bounds and chunks, the choice of
// file by render quality, and what bad files give.
#include "ModelFixture.h"

#include "l3render/L3Render.h"
#include "l3render/ModelChunks.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <filesystem>
#include <functional>

namespace {

const char* const MODEL = "data\\models\\m.rsm";
const uint32_t NONE = CModelElement::NO_ANIM_NODE;

}  // namespace

using ModelFileTest = ModelFixture;

TEST_F(ModelFileTest, EveryVersionLoadsByItsGates)
{
    writeRobotClass();
    for (uint32_t version = 100; version <= 106; ++version) {
        SCOPED_TRACE(version);
        mw::Model m = robot(version);
        m.Chunks = {{1, "one"}, {2, ""}, {1, "again"}};
        m.Lods[0].Root.Chunks = {{9, "xyz"}};
        CModel* model = load(m, 0, nullptr, CModelUtil::LOAD_TOOL, 50.0f);
        ASSERT_NE(model, nullptr);
        CModelElement* root = model->GetRootLodModel(0);
        CModelElement *armR = child(root, 0), *armL = child(root, 1), *hand = child(armR, 0);
        ASSERT_NE(armL, nullptr);
        ASSERT_NE(hand, nullptr);
        EXPECT_EQ(std::make_pair(version < 106 ? 50.0f : 0.0f, 10.0f), std::make_pair(model->GetLodThreshold(0), armL->m_local.Translation[0]));
        // The class from 101 (its name counted without the zero before 104): node = class position.
        const bool classed = version >= 101;
        EXPECT_EQ(classed ? std::vector<uint32_t>({4, 1, 3}) : std::vector<uint32_t>({0, NONE, NONE}),
                  std::vector<uint32_t>({model->GetNumAnimNodes(), armL->m_animNodeIndex, hand->m_animNodeIndex}));

        // Bounds from 102; without them radius 100 and no LOD by distance.
        EXPECT_FLOAT_EQ(hand->m_boundsRadius, version >= 102 ? 1.5f : 100.0f);
        EXPECT_EQ(model->m_flags, CModel::FLAG_TOOLMESH | CModel::FLAG_ALPHAFADE | (version < 102 ? CModel::FLAG_NOBOUNDS : 0));
        EXPECT_EQ(hand->m_flags, CModelElement::FLAG_TOOLMESH | CModelElement::FLAG_TRANSPARENT);
        EXPECT_EQ(root->m_flags, CModelElement::FLAG_TOOLMESH);
        // Chunks from 106, in file order.
        EXPECT_EQ(root->m_pChunks != nullptr && model->m_pChunks != nullptr, version == 106);
        if (const CModelExtensionChunkSet* set = model->m_pChunks) {
            ASSERT_EQ(set->GetNumChunks(), 3u);
            EXPECT_EQ(set->GetChunk(1)->size, 0u);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(set->GetChunk(2)->pData), 5), "again");
            EXPECT_EQ(root->m_pChunks->FindChunk(9)->size, 3u);
        }
        ASSERT_TRUE(CModelManager::ReleaseModel(model, true));
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(ModelFileTest, LodsTakeTheirSlots)
{
    mw::Model two;
    two.Lods = {{5000, mw::Element("near")}, {1000, mw::Element("far")}};
    for (uint32_t lod : {0u, 3u}) {
        CModel* model = load(two, lod);
        ASSERT_NE(model, nullptr);
        EXPECT_FLOAT_EQ(model->GetLodThreshold(1), 1000.0f);
        EXPECT_NE(model->GetRootLodModel(1), nullptr);
        EXPECT_EQ(model->GetRootLodModel(3), nullptr);
        EXPECT_EQ(testsupport::countReports("Tried to load multiLOD model into single LOD: data\\models\\m.rsm"), lod != 0);
    }
    mw::Model one;
    one.Lods = {{700, mw::Element("only")}};
    CModel* model = load(one, 2);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(nullptr, model->GetRootLodModel(0));
    EXPECT_EQ(700.0f, model->GetLodThreshold(2));
    // Into the model given: an older file fills slot 1 with the caller's distance (below 1e-5: 1);
    // a slot loaded again gives up its old tree.
    one.Version = 105;
    EXPECT_EQ(load(one, 1, model, CModelUtil::LOAD_TOOL, 1e-6f), model);
    EXPECT_FLOAT_EQ(model->GetLodThreshold(1), 1.0f);
    const uint32_t elements = CModelManager::GetNumElements();
    EXPECT_EQ(load(one, 2, model), model);
    EXPECT_EQ(CModelManager::GetNumElements(), elements);
}

TEST_F(ModelFileTest, ClassesNumberTheElements)
{
    writeRobotClass();
    // Load flag 8: the class is ignored.
    CModel* model = load(robot(), 0, nullptr, CModelUtil::LOAD_TOOL | CModelUtil::LOAD_DEFAULT_CLASS);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->m_classId, CModelClassManager::GetDefaultClassId());
    EXPECT_EQ(model->FindElementByNode(0, 0), nullptr);
    // An unknown class is reported and the default taken; class names keep 255 bytes.
    mw::Model tank = robot();
    tank.ClassName = "Tank" + std::string(300, 'x');
    model = load(tank);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->m_classId, CModelClassManager::GetDefaultClassId());
    EXPECT_EQ(testsupport::countReports("Unknown class name, check classdef file Tank" + std::string(251, 'x')), 1);
    EXPECT_EQ(testsupport::countReports("x (data\\classdef\\Tank" + std::string(251, 'x') + ".def)"), 1);
    EXPECT_EQ(testsupport::countReports(std::string(252, 'x')), 0);
    // Another model naming it is not reported again.
    model = load(tank);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(testsupport::countReports("Unknown class name"), 1);
    // A class file found wrong has said so, naming itself: the model naming it adds nothing.
    write("data/classdef/odd.def", "{\nroot\n}\n");
    mw::Model odd = robot();
    odd.ClassName = "odd";
    testsupport::clearReports();
    ASSERT_NE(load(odd), nullptr);
    ASSERT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(testsupport::reports()[0].message, "While reading data\\classdef\\odd.def");
    // A class may list an empty name: an element of name count 0 takes its node; a name counted
    // without its zero is ended all the same, and a long name is cut and the record read on.
    write("data/classdef/blank.def", "class blank\r\n{\r\n\r\n  Root\r\n}\r\n");
    mw::Model blank;
    blank.ClassName = "blank";
    mw::Element nameless(""), named("root", 7, 0, 0), longer(std::string(300, 'a'), 8, 0, 0);
    nameless.NameZero = named.NameZero = false;
    nameless.Children = {named, longer};
    blank.Lods.push_back({0, nameless});
    model = load(blank);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->GetRootLodModel(0)->m_animNodeIndex, 0u);
    EXPECT_EQ(child(model->GetRootLodModel(0), 1)->m_animNodeIndex, 1u);
    EXPECT_FLOAT_EQ(child(model->GetRootLodModel(0), 0)->m_local.Translation[0], 8.0f);
}

TEST_F(ModelFileTest, BoundingSphereOfALoneRoot)
{
    // A lone root: its sphere scaled by the largest scale, placed by the root's transform.
    mw::Element lone = mw::quadElement("lone", 106, 2);
    const float centre[3] = {1, 0, 0}, scale[3] = {2, 3, 1}, turn[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1}, at[3] = {5, 5, 5};
    std::copy(centre, centre + 3, lone.Centre);
    std::copy(scale, scale + 3, lone.Scale);
    std::copy(turn, turn + 9, lone.Rotation);
    std::copy(at, at + 3, lone.Translation);
    mw::Model m;
    m.Lods = {{0, lone}};
    CModel* model = load(m);
    ASSERT_NE(model, nullptr);
    EXPECT_FLOAT_EQ(model->m_radius, 6.0f);
    EXPECT_EQ(std::vector<float>({model->m_centre.x, model->m_centre.y, model->m_centre.z}), std::vector<float>({5, 7, 5}));
}

TEST_F(ModelFileTest, BadFilesFailWithTheirReport)
{
    auto deep = [](uint32_t levels) {
        mw::Model m;
        m.Lods.push_back({0, mw::Element("leaf")});
        for (uint32_t i = 1; i < levels; ++i) {
            mw::Element parent("node");
            parent.Children.push_back(std::move(m.Lods[0].Root));
            m.Lods[0].Root = std::move(parent);
        }
        return m;
    };
    const std::pair<const char*, std::function<void(mw::Model&)>> cases[] = {
        {"numLods <= MAX_LODS", [](mw::Model& m) { m.NumLods = 9; }},
        {"chunkSize <= BytesLeft", [](mw::Model& m) { m.Chunks = {{1, "abc", 0xFFFFFFF0}}; }},
        {"numChunks * 8 <= BytesLeft", [](mw::Model& m) { m.Lods[0].Root.Chunks = {{1, "a"}}, m.Lods[0].Root.NumChunks = 1 << 28; }},
        {"numChildren", [](mw::Model& m) { m.Lods[0].Root.NumChildren = 0x7fffffff; }},
        {"BytesRead == BytesToRead", [](mw::Model& m) { m.Lods[0].Root.Children[0].NameCount = 0xFFFFFFF0; }},
        {"type == 1 || type == 8", [](mw::Model& m) { m.Lods[0].Root.Children[1].Type = 3; }},
        {"depth <= MAX_TREE_DEPTH", [&](mw::Model& m) { m = deep(257); }},
        {"version >= GetMinVersionNumber()", [](mw::Model& m) { m.Version = 99; }},
    };
    for (const auto& [report, spoil] : cases) {
        SCOPED_TRACE(report);
        testsupport::clearReports();
        resetRunLogCount();  // each a run of its own: a file's failure is said once a run
        mw::Model m = robot();
        spoil(m);
        EXPECT_EQ(load(m), nullptr);
        EXPECT_GE(testsupport::countReports(report), 1);
        EXPECT_EQ(listed(), 0u);
    }
    const auto& boxes = platform::testing::messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Model import error");
    EXPECT_EQ(boxes[0].text, "data\\models\\m.rsm is an incompatible version.\nExpected version 106 (or at least 100), got 99");
    // 256 levels are still a tree (in a run of its own: the file failed in this one).
    resetRunLogCount();
    EXPECT_NE(load(deep(256)), nullptr);
    // A LOD slot past the eight.
    EXPECT_EQ(CModelUtil::LoadModel(MODEL, 8, 1.0f, nullptr, CModelUtil::LOAD_TOOL), nullptr);
    EXPECT_EQ(testsupport::countReports("lod < CModel::MAX_LODS"), 1);
    // No file: a box and a report.
    EXPECT_EQ(CModelUtil::LoadModel("data\\models\\none.rsm", 0, 1.0f, nullptr, 0), nullptr);
    EXPECT_EQ(boxes.back().text, "File not found: data\\models\\none.rsm");
    EXPECT_EQ(testsupport::countReports("RSM <data\\models\\none.rsm> file not found"), 1);
    // Its next users do without it quietly, as the first one does.
    const size_t said = testsupport::reports().size();
    EXPECT_EQ(CModelUtil::LoadModel("DATA\\models\\NONE.rsm", 0, 1.0f, nullptr, 0), nullptr);
    EXPECT_EQ(testsupport::reports().size(), said);
}

TEST_F(ModelFileTest, EveryCutFileFailsAndReleasesWhatItRead)
{
    writeRobotClass();
    mw::Model m = robot();
    m.Chunks = {{3, "chunk"}};
    m.Lods[0].Root.Children[1].Children[0].Chunks = {{4, "xy"}};
    const std::string bytes = mw::model(m);
    mw::Model one;
    one.Lods = {{0, mw::Element("kept")}};
    CModel* given = load(one, 1);
    ASSERT_NE(given, nullptr);
    // One report for each cut file, wherever the cut falls: in a mesh the mesh loader's alone.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        resetRunLogCount();
        testsupport::clearReports();
        write("data/models/m.rsm", bytes.substr(0, cut));
        EXPECT_EQ(CModelUtil::LoadModel(MODEL, 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL), nullptr) << cut;
        EXPECT_EQ(listed(), 2u) << cut;
        EXPECT_EQ(testsupport::reports().size(), 1u) << cut;
    }
    // A model given survives a failed load, every slot empty.
    EXPECT_EQ(CModelUtil::LoadModel(MODEL, 0, 1.0f, given, CModelUtil::LOAD_TOOL), nullptr);
    EXPECT_EQ(given->GetRootLodModel(1), nullptr);
    EXPECT_EQ(listed(), 1u);
}

TEST_F(ModelFileTest, BoundsAreReadWithoutTheMesh)
{
    mw::Model m;
    m.Chunks = {{1, "abcd"}};
    for (uint32_t version : {106u, 101u, 99u}) {
        m.Version = version;
        m.Lods = {{100, mw::quadElement("body", version, 9)}};
        m.Lods[0].Root.Translation[0] = 1;
        m.Lods[0].Root.Centre[2] = 4;
        write("data/models/m.rsm", mw::model(m));
        CFile file;
        uint32_t read = 0;
        CModelBounds bounds;
        ASSERT_TRUE(CModelUtil::ReadModelBounds(MODEL, &file, &read, &bounds));
        EXPECT_EQ(std::make_tuple(version, true, 1.0f), std::make_tuple(read, file.IsOpen(), bounds.transform.Translation[0]));
        EXPECT_EQ(std::pair(bounds.radius, bounds.centre.z), version >= 102 ? std::pair(9.0f, 4.0f) : std::pair(100.0f, 0.0f));
    }
    // An incompatible version is reported and read on; the root must be a mesh.
    EXPECT_EQ(platform::testing::messageBoxes().at(0).text,
              "data\\models\\m.rsm is an incompatible version.\nExpected 106 (or at least 100), got 99");
    m.Version = 106;
    m.Lods[0].Root = mw::Element("dummy");
    write("data/models/m.rsm", mw::model(m));
    CFile file;
    uint32_t read = 0;
    CModelBounds bounds;
    EXPECT_FALSE(CModelUtil::ReadModelBounds(MODEL, &file, &read, &bounds));
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(ModelFileTest, TheRenderQualityPicksTheFile)
{
    // Each file tells itself by its threshold: 0 low, 1 medium, 2 the name itself.
    auto put = [&](const char* name, float threshold, bool present) {
        mw::Model m;
        m.Lods = {{threshold, mw::Element("root")}};
        if (present) write(std::string("data/models/") + name, mw::model(m));
        else std::filesystem::remove(m_dir.file(std::string("data/models/") + name));
    };
    put("tank.rsm", 2, true);
    const int32_t cases[][4] = {{0, 1, 1, 0}, {0, 0, 1, 1}, {0, 0, 0, 2}, {1, 1, 1, 1},
                                {1, 1, 0, 2}, {2, 1, 1, 2}, {5, 1, 1, 2}, {-1, 1, 1, 2}};
    for (const auto& [quality, low, medium, chosen] : cases) {
        SCOPED_TRACE(quality * 100 + low * 10 + medium);
        put("tank_low.rsm", 0, low);
        put("tank_med.rsm", 1, medium);
        L3SetRenderQuality(quality);
        CModel* model = CModelUtil::LoadModel("data\\models\\tank.rsm", 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL);
        ASSERT_NE(model, nullptr);
        EXPECT_FLOAT_EQ(model->GetLodThreshold(0), static_cast<float>(chosen));
    }
    L3SetRenderQuality(0);
}
