// GMaterial: the parsed material shared by the state blocks of one material name.
#include "d3dcore9/MaterialAnimation.h"
#include "d3dcore9/RenderMatrix.h"
#include "d3dcore9/StateBlock.h"
#include "d3dcore9/MaterialTables.h"
#include "utility/Assert.h"

#include <strings.h>

#include <cmath>

int32_t GMaterial::Live = 0;

GMaterial::GMaterial()
{
    Init();
    RefCount = 1;
    ++Live;
}

GMaterial::~GMaterial() { --Live; }

void GMaterial::AddRef() { ++RefCount; }

void GMaterial::Release()
{
    if (!VERIFY(RefCount >= 1)) return;
    if (--RefCount > 0) return;
    Clear();
    RestoreStates.Clear();
    delete this;
}

void GMaterial::Init()
{
    VSRegisterMin = PSRegisterMin = 1000;
    VSRegisterMax = PSRegisterMax = -1000;
    Name = nullptr;
    MatID = nullptr;
    UseTextureFactor = 0;
    FVFFormat = ::FVFFormat();
    VertexShader = PixelShader = 0;
    Lit = VSLit = 0;
    ShaderUsed = 0;
    Passes = 0;
    for (DWORD& s : Stages) s = 0;
    wvpmatrix = wmatrix = vmatrix = pmatrix = wvmatrix = vpmatrix = wvmatrixi = pscubematrix = cubematrix = -1;
    for (float& b : DepthBias) b = 0.0f;
    TextureFactor = 0;
    TextureMatrixCount = 0;
    AnimStart = 0.0f;
    AnimState = 0;
    for (int i = 0; i < 3; ++i) Ambient[i] = Diffuse[i] = 0.0f;
    DelayedSort = SORT_NONE;
    SortScale = 0;
    SortBias = 0.0f;
    for (DWORD& b : BumpMapType) b = BUMP_NONE;
    BlackFog = AddFade = AddFadeModulate = 0;
    DynamicVB = -1;
    Streams = 0;
    StreamVertexSize = nullptr;
    DrawCallback = nullptr;
    FitReported = false;
    for (DWORD s = 0; s < MAXSBSTAGES; ++s) {
        Animation[s] = nullptr;
        TextureMatrixRegister[s] = -1;
        UVSource[s] = static_cast<BYTE>(s);
        MinMipSize[s] = 1;
        UseMipMaps[s] = IgnoreAlpha[s] = CubeMap[s] = 0;
        TexFormat[s] = nullptr;
        for (DWORD p = 0; p < MAXPASSES; ++p) {
            StageName[p][s] = nullptr;
            TextureMatrix[p][s] = nullptr;
            TextureIndex[p][s] = -1;
        }
    }
}

void GMaterial::Clear()
{
    delete[] Name;
    delete[] MatID;
    delete[] StreamVertexSize;
    for (DWORD s = 0; s < MAXSBSTAGES; ++s) {
        delete Animation[s];
        for (DWORD p = 0; p < MAXPASSES; ++p) {
            delete[] StageName[p][s];
            delete TextureMatrix[p][s];
        }
    }
    if (VertexShader) materialtables::ReleaseVertexShader(VertexShader);
    if (PixelShader) materialtables::ReleasePixelShader(PixelShader);
    // Every list, whatever Passes says by now: nothing recorded may outlive the material.
    for (StateList& list : PassStates) list.Clear();
    RestoreStates.Clear();
    Init();
}

MaterialAnimation* GMaterial::NewAnimation(DWORD stage)
{
    if (!VERIFY(stage < MAXSBSTAGES)) return nullptr;
    delete Animation[stage];
    Animation[stage] = new MaterialAnimation();
    return Animation[stage];
}

void GMaterial::SetStageTextureMatrix(DWORD IDHandle, const float values[9])
{
    if (!VERIFY(IDHandle != 0xffffffff)) return;
    const DWORD Pass = IDHandle >> 8, Stage = IDHandle & 0xFF;
    // Nothing is written outside the material's passes and stages.
    if (Pass >= Passes || Pass >= MAXPASSES) {
        assertFailed("Pass < GMaterial->Passes", __FILE__, __LINE__);
        return;
    }
    if (Stage >= Stages[Pass] || Stage >= MAXSBSTAGES) {
        assertFailed("Stage < GMaterial->Stages[Pass]", __FILE__, __LINE__);
        return;
    }
    D3DMATRIX*& m = TextureMatrix[Pass][Stage];
    if (!m) {
        m = new D3DMATRIX;
        ++TextureMatrixCount;
    }
    RenderMatrix::identity(*m);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m->m[r][c] = values[r * 3 + c];
    m->m[2][0] -= std::floor(m->m[2][0]);
    m->m[2][1] -= std::floor(m->m[2][1]);
}

DWORD GMaterial::FindStageID(const char* name) const
{
    if (!name) return 0xFFFFFFFFu;
    for (DWORD p = 0; p < Passes && p < MAXPASSES; ++p)
        for (DWORD s = 0; s < MAXSBSTAGES; ++s)
            if (StageName[p][s] && strcasecmp(StageName[p][s], name) == 0) return p << 8 | s;
    return 0xFFFFFFFFu;
}
