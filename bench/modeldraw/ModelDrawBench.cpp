// Model instances drawn (CModelInst::Render) on the null renderer, the render core's own cost: 100
// instances of a model of 16 mesh parts (a root and 15 children of 24 vertices each), beside the
// same frame made straight on the device - each instance's bounding sphere against the view, each
// part placed by its parent, its world matrix set, its material's vertex format and texture set and
// its triangles drawn from one vertex buffer holding every part. The two must make as many draws.
#include "../MeshMaterial.h"
#include "../PlainView.h"
#include "../RenderCoreBench.h"
#include "ModelWriter.h"
#include "l3render/L3Render.h"
#include "l3render/LightManager.h"
#include "l3render/Model.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelInst.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/HWDynamicMesh.h"
#include "platform/testing.h"
#include "utility/Assert.h"
#include "utility/LList.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

namespace {

namespace mw = modelwriter;

const int INSTANCES = 100, PARTS = 16;
const uint32_t PART_VERTICES = 24, PART_INDICES = 36;
const DWORD FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
void quiet(const char*, const char*, const char*, int) {}

struct PlainVertex {
    float position[3], normal[3], uv[2];
};

// Part p: a box of six faces round its own origin, 10 units across.
std::vector<PlainVertex> partVertices()
{
    std::vector<PlainVertex> out;
    for (int face = 0; face < 6; ++face) {
        const int axis = face / 2;
        const float side = face % 2 ? -5.0f : 5.0f;
        const float corners[4][2] = {{-5, -5}, {5, -5}, {-5, 5}, {5, 5}};
        for (const auto& c : corners) {
            PlainVertex v{};
            v.position[axis] = side;
            v.position[(axis + 1) % 3] = c[0];
            v.position[(axis + 2) % 3] = c[1];
            v.normal[axis] = side > 0 ? 1.0f : -1.0f;
            v.uv[0] = c[0] > 0 ? 1.0f : 0.0f;
            v.uv[1] = c[1] > 0 ? 1.0f : 0.0f;
            out.push_back(v);
        }
    }
    return out;
}

std::vector<uint32_t> partIndices()
{
    std::vector<uint32_t> out;
    for (uint32_t face = 0; face < 6; ++face)
        for (uint32_t k : {0u, 1u, 2u, 2u, 1u, 3u}) out.push_back(4 * face + k);
    return out;
}

// Where part p sits in its parent: the children in a ring round the root, 20 units out.
void partPlace(int p, float t[3])
{
    t[0] = t[1] = t[2] = 0.0f;
    if (p == 0) return;
    t[1] = 20.0f * std::cos(static_cast<float>(p) * 0.4f);
    t[2] = 20.0f * std::sin(static_cast<float>(p) * 0.4f);
}

mw::Element partElement(int p)
{
    float t[3];
    partPlace(p, t);
    mw::Element e(p == 0 ? "root" : "part", t[0], t[1], t[2]);
    e.Type = mw::TYPE_MESH;
    e.Radius = 9.0f;
    meshwriter::Block block = meshwriter::demoQuad("m.mtl", "m.tga");
    meshwriter::Primitive& primitive = block.Primitives[0];
    primitive = meshwriter::Primitive();
    primitive.FVF = meshwriter::XYZ | meshwriter::NORMAL | meshwriter::TEX(1);
    for (const PlainVertex& pv : partVertices()) {
        meshwriter::Vertex v;
        std::memcpy(v.Position, pv.position, 12);
        std::memcpy(v.Normal, pv.normal, 12);
        std::memcpy(v.UV[0], pv.uv, 8);
        primitive.add(v);
    }
    primitive.IndexList = partIndices();
    e.Mesh = meshwriter::section({block}, 106);
    return e;
}

// A rotation (rows) and a translation; a child's is its own turned and moved by its parent's.
struct Place {
    float r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float t[3] = {0, 0, 0};
};

Place compose(const Place& local, const Place& parent)
{
    Place world;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            world.r[3 * row + col] = local.r[3 * row] * parent.r[col] + local.r[3 * row + 1] * parent.r[3 + col] +
                                     local.r[3 * row + 2] * parent.r[6 + col];
    for (int col = 0; col < 3; ++col)
        world.t[col] = local.t[0] * parent.r[col] + local.t[1] * parent.r[3 + col] + local.t[2] * parent.r[6 + col] +
                       parent.t[col];
    return world;
}

// Instance i: rows in front of the camera, which looks along +x from the origin.
void instancePlace(int i, float t[3])
{
    t[0] = 400.0f + 10.0f * static_cast<float>(i % 7);
    t[1] = -180.0f + 40.0f * static_cast<float>(i % 10);
    t[2] = -120.0f + 30.0f * static_cast<float>(i / 10);
}

// The device on the null renderer, the model and its instances, once for the program.
class Scene : public RenderCoreBench {
public:
    Scene() : RenderCoreBench(false, "modeldraw")
    {
        setAssertReportHook(quiet);
        if (!m_ok) return;
        if (!llistElementPoolExists()) llistInitElementPool();
        m_ok = bench::useOneMeshMaterial(FVF) && CModelClassManager::Init() && CModelManager::Init() && CLightManager::GetInstance()->Init(8, 0);
        if (!m_ok) return;
        mw::Element root = partElement(0);
        for (int p = 1; p < PARTS; ++p) root.Children.push_back(partElement(p));
        mw::Model model;
        model.Lods.push_back({0, root});
        std::filesystem::create_directories("data");
        std::ofstream("data/parts.rsm", std::ios::binary) << mw::model(model);
        m_model = CModelUtil::LoadModel("data\\parts.rsm", 0, 1.0f, nullptr, 0);
        m_ok = m_model != nullptr;
        for (int i = 0; m_ok && i < INSTANCES; ++i) {
            CModelInst* inst = CModelManager::CreateModelInst(m_model);
            if (!inst) {
                m_ok = false;
                break;
            }
            instancePlace(i, inst->m_transform.Translation);
            m_instances.push_back(inst);
        }
        L3SetPerspective(10.0f, 10000.0f, 60.0f, 45.0f);
        L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
        m_ok = m_ok && buildPlain();
    }

    ~Scene()
    {
        if (m_vb) m_vb->Release();
        if (m_ib) m_ib->Release();
        CModelManager::Shutdown();
        CModelClassManager::Shutdown();
        if (CLightManager::GetInstance()->IsInitialised()) CLightManager::GetInstance()->Shutdown();
        D3DCore.FreeDisplayHandles();
        D3DCore.StateBlocks.ReleaseAll();
    }

    void frame()
    {
        D3DCore.BeginScene(true, false);
        for (CModelInst* inst : m_instances) inst->Render();
        D3DCore.EndScene(true);
    }

    // The baseline: the same instances and parts, placed and drawn by hand.
    void plainFrame()
    {
        IDirect3DDevice9* dev = DXInterface.ID3DDevice;
        D3DCore.BeginScene(true, false);
        dev->SetStreamSource(0, m_vb, 0, sizeof(PlainVertex));
        dev->SetIndices(m_ib);
        for (int i = 0; i < INSTANCES; ++i) {
            float at[3];
            instancePlace(i, at);
            // The model's sphere (about the root) against the view.
            if (!plainview::inView(Vector3(at[0], at[1], at[2]), m_radius)) continue;
            // Each part by its parent: the root by the instance, the children by the root.
            Place instance;
            std::memcpy(instance.t, at, sizeof at);
            Place root;
            for (int p = 0; p < PARTS; ++p) {
                Place local;
                partPlace(p, local.t);
                const Place world = compose(local, p == 0 ? instance : root);
                if (p == 0) root = world;
                const D3DMATRIX m = plainview::worldMatrix(world.r, world.t);
                dev->SetTransform(D3DTS_WORLD, &m);
                dev->SetFVF(FVF);
                dev->SetTexture(0, nullptr);
                dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, static_cast<INT>(p * PART_VERTICES), 0, PART_VERTICES,
                                          0, PART_INDICES / 3);
            }
        }
        D3DCore.InvalidateStateCache();
        for (auto& s : D3DCore.StreamSources) s = nullptr;
        D3DCore.EndScene(true);
    }

private:
    bool buildPlain()
    {
        m_radius = m_model->m_radius;
        IDirect3DDevice9* dev = DXInterface.ID3DDevice;
        const std::vector<PlainVertex> part = partVertices();
        const std::vector<uint32_t> indices = partIndices();
        if (FAILED(dev->CreateVertexBuffer(sizeof(PlainVertex) * PART_VERTICES * PARTS, D3DUSAGE_WRITEONLY, FVF,
                                           D3DPOOL_MANAGED, &m_vb, nullptr)) ||
            FAILED(dev->CreateIndexBuffer(2 * PART_INDICES, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &m_ib,
                                          nullptr)))
            return false;
        PlainVertex* v = nullptr;
        WORD* ix = nullptr;
        if (FAILED(m_vb->Lock(0, 0, reinterpret_cast<void**>(&v), 0)) ||
            FAILED(m_ib->Lock(0, 0, reinterpret_cast<void**>(&ix), 0)))
            return false;
        for (int p = 0; p < PARTS; ++p) std::memcpy(v + p * PART_VERTICES, part.data(), sizeof(PlainVertex) * PART_VERTICES);
        for (uint32_t k = 0; k < PART_INDICES; ++k) ix[k] = static_cast<WORD>(indices[k]);
        m_vb->Unlock();
        m_ib->Unlock();
        return true;
    }

    CModel* m_model = nullptr;
    std::vector<CModelInst*> m_instances;
    IDirect3DVertexBuffer9* m_vb = nullptr;
    IDirect3DIndexBuffer9* m_ib = nullptr;
    float m_radius = 0;
};

Scene* scene()
{
    static std::unique_ptr<Scene> made = std::make_unique<Scene>();
    return made->ok() ? made.get() : nullptr;
}

int drawsOf(void (Scene::*frame)())
{
    const int before = platform::testing::d3d9Calls("DrawIndexedPrimitive");
    (scene()->*frame)();
    return platform::testing::d3d9Calls("DrawIndexedPrimitive") - before;
}

void BM_ModelInstances(benchmark::State& state)
{
    Scene* s = scene();
    if (!s) return state.SkipWithError("the scene could not be made");
    state.counters["draws"] = drawsOf(&Scene::frame);
    for (auto _ : state) s->frame();
    state.SetItemsProcessed(state.iterations() * INSTANCES);
}
BENCHMARK(BM_ModelInstances)->Unit(benchmark::kMicrosecond);

void BM_PlainInstanceDraws(benchmark::State& state)
{
    Scene* s = scene();
    if (!s) return state.SkipWithError("the scene could not be made");
    const int draws = drawsOf(&Scene::plainFrame);
    if (draws != drawsOf(&Scene::frame)) return state.SkipWithError("the baseline makes another number of draws");
    state.counters["draws"] = draws;
    for (auto _ : state) s->plainFrame();
    state.SetItemsProcessed(state.iterations() * INSTANCES);
}
BENCHMARK(BM_PlainInstanceDraws)->Unit(benchmark::kMicrosecond);
BENCH_PAIR(BM_ModelInstances, BM_PlainInstanceDraws);

}  // namespace

VELDRANE_BENCH_MAIN("modeldraw")
