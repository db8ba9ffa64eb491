// What the library does around the device's life today: the render defaults after creation and
// after every restore, and the border material the screen margin is drawn with (the material of
// data\letterbox.mtl: untextured, unlit vertex colour blended over everything).
#include "matcore9/MatCore.h"

#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"

#include <cstring>

namespace {

const char* const BORDER_MATERIAL = "data\\letterbox.mtl";
const DWORD TA_DIFFUSE = 0;

D3DCoreFuncHandle releaseHandle{0, -1};
D3DCoreFuncHandle restoreHandle{1, -1};

void beforeRelease() { MatCore.Lights.LoseLights(); }

void afterRestore()
{
    MatCore.ApplyRenderDefaults();
    MatCore.Lights.RestoreLights();
}

struct StateValue {
    DWORD State;
    DWORD Value;
};

const StateValue BORDER_STATES[] = {
    {D3DRS_ZENABLE, D3DZB_FALSE},        {D3DRS_ZWRITEENABLE, FALSE},
    {D3DRS_ALPHATESTENABLE, FALSE},      {D3DRS_FOGENABLE, FALSE},
    {D3DRS_LIGHTING, FALSE},             {D3DRS_CULLMODE, D3DCULL_NONE},
    {D3DRS_ALPHABLENDENABLE, TRUE},      {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
};
const StateValue BORDER_STAGE_STATES[] = {
    {D3DTSS_COLOROP, D3DTOP_SELECTARG1},
    {D3DTSS_COLORARG1, TA_DIFFUSE},
    {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
    {D3DTSS_ALPHAARG1, TA_DIFFUSE},
};

// As a material file records a state: never and neverw states are left out, a rare one equal to
// its default too.
bool recorded(const MapEntry* e, DWORD value)
{
    return e && e->Usage != ST_NEVER && e->Usage != ST_NEVERW && !(e->Usage == ST_RARE && value == e->Default);
}

}  // namespace

bool MatCore::AttachDevice()
{
    ApplyRenderDefaults();
    releaseHandle = D3DCore.RegisterFunc(0, beforeRelease);
    restoreHandle = D3DCore.RegisterFunc(1, afterRestore);
    return CreateBorderMaterial();
}

void MatCore::DetachDevice()
{
    if (D3DCore.LetterboxBlock != SB_NONE) D3DCore.StateBlocks.ReleaseSB(D3DCore.LetterboxBlock);
    D3DCore.LetterboxBlock = SB_NONE;
    if (releaseHandle.Index >= 0) D3DCore.UnregisterFunc(releaseHandle);
    if (restoreHandle.Index >= 0) D3DCore.UnregisterFunc(restoreHandle);
    releaseHandle.Index = restoreHandle.Index = -1;
}

bool MatCore::CreateBorderMaterial()
{
    const float white[3] = {1.0f, 1.0f, 1.0f};
    DWORD handle = SB_NONE;
    StateBlockTable& table = D3DCore.StateBlocks;
    if (!VERIFY(table.CreateSB(BORDER_MATERIAL, TexNames(), white, white, &handle))) return false;
    StateBlock* SB = table.GetSB(handle);
    if (!SB->GMaterial) {
        GMaterial* GM = new GMaterial();
        GM->Name = new char[std::strlen(BORDER_MATERIAL) + 1];
        std::strcpy(GM->Name, BORDER_MATERIAL);
        GM->FVFFormat.D3DFlags = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
        AnalyseFVF(GM->FVFFormat);
        GM->Passes = 1;
        GM->Stages[0] = 1;
        table.BeginRecordPass(GM, 0);
        for (const StateValue& s : BORDER_STATES)
            if (recorded(FindRenderStateMapping(s.State), s.Value)) table.RecordRenderState(s.State, s.Value);
        for (const StateValue& s : BORDER_STAGE_STATES)
            if (recorded(FindStageStateMapping(s.State), s.Value)) table.RecordStageState(0, s.State, s.Value);
        CompleteMaterialStates(GM, 0);
        table.EndRecord();
        BuildRestoreList(GM);
        ApplyRenderDefaults();
        DWORD passes = 0, total = 0;
        HRESULT result = D3D_OK;
        ASSERT(D3DCore.ValidateMaterial(GM, &passes, &total, &result));
        SB->GMaterial = GM;
    }
    D3DCore.LetterboxBlock = handle;
    return true;
}
