// The 29 name tables that turn the words of material files and of the defaults file into Direct3D
// numbers. Table 0 is empty (plain numbers), 1 names the render states, 2 the texture-stage and
// sampler states, 3..28 the values.
#include "matcore9/MatCore.h"

#include "utility/Assert.h"

#include <cctype>
#include <cstring>

namespace {

struct Word {
    const char* Name;
    DWORD Value;
    DWORD ValueTable;  // state tables only
};

template <size_t N>
constexpr int32_t count(const Word (&)[N])
{
    return static_cast<int32_t>(N);
}

const Word RENDER_STATES[] = {
    {"ZENABLE", D3DRS_ZENABLE, 4},
    {"FILLMODE", D3DRS_FILLMODE, 5},
    {"SHADEMODE", D3DRS_SHADEMODE, 6},
    {"ZWRITEENABLE", D3DRS_ZWRITEENABLE, 3},
    {"ALPHATESTENABLE", D3DRS_ALPHATESTENABLE, 3},
    {"LASTPIXEL", D3DRS_LASTPIXEL, 3},
    {"SRCBLEND", D3DRS_SRCBLEND, 7},
    {"DESTBLEND", D3DRS_DESTBLEND, 7},
    {"CULLMODE", D3DRS_CULLMODE, 8},
    {"ZFUNC", D3DRS_ZFUNC, 9},
    {"ALPHAREF", D3DRS_ALPHAREF, 0},
    {"ALPHAFUNC", D3DRS_ALPHAFUNC, 9},
    {"DITHERENABLE", D3DRS_DITHERENABLE, 3},
    {"ALPHABLENDENABLE", D3DRS_ALPHABLENDENABLE, 3},
    {"FOGENABLE", D3DRS_FOGENABLE, 3},
    {"SPECULARENABLE", D3DRS_SPECULARENABLE, 3},
    {"FOGCOLOR", D3DRS_FOGCOLOR, 0},
    {"FOGTABLEMODE", D3DRS_FOGTABLEMODE, 11},
    {"FOGSTART", D3DRS_FOGSTART, 0},
    {"FOGEND", D3DRS_FOGEND, 0},
    {"FOGDENSITY", D3DRS_FOGDENSITY, 0},
    {"ZBIAS", RS_ZBIAS, 0},
    {"RANGEFOGENABLE", D3DRS_RANGEFOGENABLE, 3},
    {"STENCILENABLE", D3DRS_STENCILENABLE, 3},
    {"STENCILFAIL", D3DRS_STENCILFAIL, 12},
    {"STENCILZFAIL", D3DRS_STENCILZFAIL, 12},
    {"STENCILPASS", D3DRS_STENCILPASS, 12},
    {"STENCILFUNC", D3DRS_STENCILFUNC, 9},
    {"STENCILREF", D3DRS_STENCILREF, 0},
    {"STENCILMASK", D3DRS_STENCILMASK, 0},
    {"STENCILWRITEMASK", D3DRS_STENCILWRITEMASK, 0},
    {"TEXTUREFACTOR", D3DRS_TEXTUREFACTOR, 0},
    {"WRAP0", D3DRS_WRAP0, 10},
    {"WRAP1", D3DRS_WRAP1, 10},
    {"WRAP2", D3DRS_WRAP2, 10},
    {"WRAP3", D3DRS_WRAP3, 10},
    {"WRAP4", D3DRS_WRAP4, 10},
    {"WRAP5", D3DRS_WRAP5, 10},
    {"WRAP6", D3DRS_WRAP6, 10},
    {"WRAP7", D3DRS_WRAP7, 10},
    {"CLIPPING", D3DRS_CLIPPING, 3},
    {"LIGHTING", D3DRS_LIGHTING, 3},
    {"AMBIENT", D3DRS_AMBIENT, 0},
    {"FOGVERTEXMODE", D3DRS_FOGVERTEXMODE, 11},
    {"COLORVERTEX", D3DRS_COLORVERTEX, 3},
    {"LOCALVIEWER", D3DRS_LOCALVIEWER, 3},
    {"NORMALIZENORMALS", D3DRS_NORMALIZENORMALS, 3},
    {"DIFFUSEMATERIALSOURCE", D3DRS_DIFFUSEMATERIALSOURCE, 13},
    {"SPECULARMATERIALSOURCE", D3DRS_SPECULARMATERIALSOURCE, 13},
    {"AMBIENTMATERIALSOURCE", D3DRS_AMBIENTMATERIALSOURCE, 13},
    {"EMISSIVEMATERIALSOURCE", D3DRS_EMISSIVEMATERIALSOURCE, 13},
    {"VERTEXBLEND", D3DRS_VERTEXBLEND, 14},
    {"CLIPPLANEENABLE", D3DRS_CLIPPLANEENABLE, 0},
    {"BLENDOP", D3DRS_BLENDOP, 28},
    {"COLORWRITEENABLE", D3DRS_COLORWRITEENABLE, 0},
};
static_assert(sizeof(RENDER_STATES) / sizeof(Word) == 55);

const Word STAGE_STATES[] = {
    {"COLOROP", D3DTSS_COLOROP, 15},
    {"COLORARG1", D3DTSS_COLORARG1, 16},
    {"COLORARG2", D3DTSS_COLORARG2, 16},
    {"ALPHAOP", D3DTSS_ALPHAOP, 15},
    {"ALPHAARG1", D3DTSS_ALPHAARG1, 16},
    {"ALPHAARG2", D3DTSS_ALPHAARG2, 16},
    {"BUMPENVMAT00", D3DTSS_BUMPENVMAT00, 0},
    {"BUMPENVMAT01", D3DTSS_BUMPENVMAT01, 0},
    {"BUMPENVMAT10", D3DTSS_BUMPENVMAT10, 0},
    {"BUMPENVMAT11", D3DTSS_BUMPENVMAT11, 0},
    {"TEXCOORDINDEX", D3DTSS_TEXCOORDINDEX, 17},
    {"ADDRESSU", 100 + D3DSAMP_ADDRESSU, 18},
    {"ADDRESSV", 100 + D3DSAMP_ADDRESSV, 18},
    {"BORDERCOLOR", 100 + D3DSAMP_BORDERCOLOR, 0},
    {"MAGFILTER", 100 + D3DSAMP_MAGFILTER, 19},
    {"MINFILTER", 100 + D3DSAMP_MINFILTER, 19},
    {"MIPFILTER", 100 + D3DSAMP_MIPFILTER, 19},
    {"MIPMAPLODBIAS", 100 + D3DSAMP_MIPMAPLODBIAS, 0},
    {"MAXMIPLEVEL", 100 + D3DSAMP_MAXMIPLEVEL, 0},
    {"MAXANISOTROPY", 100 + D3DSAMP_MAXANISOTROPY, 0},
    {"BUMPENVLSCALE", D3DTSS_BUMPENVLSCALE, 0},
    {"BUMPENVLOFFSET", D3DTSS_BUMPENVLOFFSET, 0},
    {"TEXTURETRANSFORMFLAGS", D3DTSS_TEXTURETRANSFORMFLAGS, 20},
};
static_assert(sizeof(STAGE_STATES) / sizeof(Word) == 23);

const Word BOOL_WORDS[] = {{"FALSE", 0, 0}, {"TRUE", 1, 0}};
const Word ZB_WORDS[] = {{"FALSE", 0, 0}, {"TRUE", 1, 0}, {"USEW", 2, 0}};
const Word FILL_WORDS[] = {{"POINT", 1, 0}, {"WIREFRAME", 2, 0}, {"SOLID", 3, 0}};
const Word SHADE_WORDS[] = {{"FLAT", 1, 0}, {"GOURAUD", 2, 0}, {"PHONG", 3, 0}};
const Word BLEND_WORDS[] = {{"ZERO", 1, 0},         {"ONE", 2, 0},          {"SRCCOLOR", 3, 0},
                            {"INVSRCCOLOR", 4, 0},  {"SRCALPHA", 5, 0},     {"INVSRCALPHA", 6, 0},
                            {"DESTALPHA", 7, 0},    {"INVDESTALPHA", 8, 0}, {"DESTCOLOR", 9, 0},
                            {"INVDESTCOLOR", 10, 0}, {"SRCALPHASAT", 11, 0}};
const Word CULL_WORDS[] = {{"NONE", 1, 0}, {"CW", 2, 0}, {"CCW", 3, 0}};
const Word CMP_WORDS[] = {{"NEVER", 1, 0},   {"LESS", 2, 0},     {"EQUAL", 3, 0},        {"LESSEQUAL", 4, 0},
                          {"GREATER", 5, 0}, {"NOTEQUAL", 6, 0}, {"GREATEREQUAL", 7, 0}, {"ALWAYS", 8, 0}};
const Word WRAP_WORDS[] = {{"COORD0", 1, 0}, {"COORD1", 2, 0}, {"COORD2", 4, 0}, {"COORD3", 8, 0}};
const Word FOG_WORDS[] = {{"NONE", 0, 0}, {"EXP", 1, 0}, {"EXP2", 2, 0}, {"LINEAR", 3, 0}};
const Word STENCILOP_WORDS[] = {{"KEEP", 1, 0},    {"ZERO", 2, 0},   {"REPLACE", 3, 0}, {"INCRSAT", 4, 0},
                                {"DECRSAT", 5, 0}, {"INVERT", 6, 0}, {"INCR", 7, 0},    {"DECR", 8, 0}};
const Word MCS_WORDS[] = {{"MATERIAL", 0, 0}, {"COLOR1", 1, 0}, {"COLOR2", 2, 0}};
const Word VBF_WORDS[] = {{"DISABLE", 0, 0},  {"1WEIGHT", 1, 0},    {"2WEIGHTS", 2, 0},
                          {"3WEIGHTS", 3, 0}, {"TWEENING", 255, 0}, {"0WEIGHTS", 256, 0}};
const Word TOP_WORDS[] = {{"DISABLE", 1, 0},
                          {"SELECTARG1", 2, 0},
                          {"SELECTARG2", 3, 0},
                          {"MODULATE", 4, 0},
                          {"MODULATE2X", 5, 0},
                          {"MODULATE4X", 6, 0},
                          {"ADD", 7, 0},
                          {"ADDSIGNED", 8, 0},
                          {"ADDSIGNED2X", 9, 0},
                          {"SUBTRACT", 10, 0},
                          {"ADDSMOOTH", 11, 0},
                          {"BLENDDIFFUSEALPHA", 12, 0},
                          {"BLENDTEXTUREALPHA", 13, 0},
                          {"BLENDFACTORALPHA", 14, 0},
                          {"BLENDTEXTUREALPHAPM", 15, 0},
                          {"BLENDCURRENTALPHA", 16, 0},
                          {"PREMODULATE", 17, 0},
                          {"MODULATEALPHA_ADDCOLOR", 18, 0},
                          {"MODULATECOLOR_ADDALPHA", 19, 0},
                          {"MODULATEINVALPHA_ADDCOLOR", 20, 0},
                          {"MODULATEINVCOLOR_ADDALPHA", 21, 0},
                          {"BUMPENVMAP", 22, 0},
                          {"BUMPENVMAPLUMINANCE", 23, 0},
                          {"DOTPRODUCT3", 24, 0}};
const Word TA_WORDS[] = {{"CURRENT", 1, 0},  {"DIFFUSE", 0, 0},  {"SELECTMASK", 15, 0},     {"TEXTURE", 2, 0},
                         {"TFACTOR", 3, 0},  {"SPECULAR", 4, 0}, {"ALPHAREPLICATE", 32, 0}, {"COMPLEMENT", 16, 0}};
const Word TCI_WORDS[] = {{"PASSTHRU", 0, 0},
                          {"CAMERASPACENORMAL", 0x10000, 0},
                          {"CAMERASPACEPOSITION", 0x20000, 0},
                          {"CAMERASPACEREFLECTIONVECTOR", 0x30000, 0}};
const Word ADDRESS_WORDS[] = {{"WRAP", 1, 0}, {"TILE", 1, 0}, {"MIRROR", 2, 0}, {"CLAMP", 3, 0}, {"BORDER", 4, 0}};
const Word TEXF_WORDS[] = {{"NONE", 0, 0}, {"POINT", 1, 0}, {"LINEAR", 2, 0}, {"ANISOTROPIC", 3, 0}};
const Word TTFF_WORDS[] = {{"DISABLE", 0, 0}, {"COUNT1", 1, 0}, {"COUNT2", 2, 0},
                           {"COUNT3", 3, 0},  {"COUNT4", 4, 0}, {"PROJECTED", 256, 0}};
const Word FVF_WORDS[] = {{"XYZ", D3DFVF_XYZ, 0},     {"XYZRHW", D3DFVF_XYZRHW, 0}, {"XYZB1", D3DFVF_XYZB1, 0},
                          {"XYZB2", D3DFVF_XYZB2, 0}, {"XYZB3", D3DFVF_XYZB3, 0},   {"XYZB4", D3DFVF_XYZB4, 0},
                          {"XYZB5", D3DFVF_XYZB5, 0}, {"NORMAL", D3DFVF_NORMAL, 0}, {"DIFFUSE", D3DFVF_DIFFUSE, 0},
                          {"SPECULAR", D3DFVF_SPECULAR, 0}, {"TEX0", D3DFVF_TEX0, 0}, {"TEX1", D3DFVF_TEX1, 0},
                          {"TEX2", D3DFVF_TEX2, 0},   {"TEX3", D3DFVF_TEX3, 0},     {"TEX4", D3DFVF_TEX4, 0},
                          {"TEX5", D3DFVF_TEX5, 0},   {"TEX6", D3DFVF_TEX6, 0},     {"TEX7", D3DFVF_TEX7, 0},
                          {"TEX8", D3DFVF_TEX8, 0}};
const Word NONE_WORDS[] = {{"NONE", 0xFFFFFFFFu, 0}};
const Word PASS_WORDS[] = {{"ALWAYS", 0, 0}, {"NEVER", 1, 0}, {"AUTO", 2, 0}};
const Word SPACE_WORDS[] = {{"MODEL", 0, 0}, {"VERTEX", 1, 0}};
const Word BUMP_WORDS[] = {{"DOT3TFACTOR", 0, 0}, {"PIXELSHADER", 1, 0}, {"NONE", 2, 0}};
const Word SORT_WORDS[] = {{"NONE", 0, 0}, {"MATERIAL", 1, 0}, {"POLY", 2, 0}, {"LAST", 3, 0}};
const Word SCALE_WORDS[] = {{"NONE", 0, 0}, {"UNIFORM", 1, 0}, {"INDEPENDENT", 2, 0}};
const Word BLENDOP_WORDS[] = {{"ADD", 1, 0}, {"SUBTRACT", 2, 0}, {"REVSUBTRACT", 3, 0}, {"MIN", 4, 0}, {"MAX", 5, 0}};

struct TableSource {
    const Word* Words;
    int32_t Count;
};

#define TABLE(words) {words, count(words)}
const TableSource TABLES[NUM_MAPS] = {
    {nullptr, 0},           TABLE(RENDER_STATES), TABLE(STAGE_STATES),    TABLE(BOOL_WORDS),  TABLE(ZB_WORDS),
    TABLE(FILL_WORDS),      TABLE(SHADE_WORDS),   TABLE(BLEND_WORDS),     TABLE(CULL_WORDS),  TABLE(CMP_WORDS),
    TABLE(WRAP_WORDS),      TABLE(FOG_WORDS),     TABLE(STENCILOP_WORDS), TABLE(MCS_WORDS),   TABLE(VBF_WORDS),
    TABLE(TOP_WORDS),       TABLE(TA_WORDS),      TABLE(TCI_WORDS),       TABLE(ADDRESS_WORDS), TABLE(TEXF_WORDS),
    TABLE(TTFF_WORDS),      TABLE(FVF_WORDS),     TABLE(NONE_WORDS),      TABLE(PASS_WORDS),  TABLE(SPACE_WORDS),
    TABLE(BUMP_WORDS),      TABLE(SORT_WORDS),    TABLE(SCALE_WORDS),     TABLE(BLENDOP_WORDS),
};
#undef TABLE

char* lowerCopy(const char* text)
{
    const size_t n = std::strlen(text);
    char* copy = new char[n + 1];
    for (size_t i = 0; i <= n; ++i) copy[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    return copy;
}

MapEntry* findState(Map& map, DWORD state)
{
    for (int32_t i = 0; i < map.Mappings; ++i)
        if (map.Mapping[i].Value == state) return &map.Mapping[i];
    assertFailed("false", __FILE__, __LINE__);
    return nullptr;
}

}  // namespace

class MatCore MatCore;

MatCore::~MatCore() { FreeMaps(); }

void MatCore::BuildMaps()
{
    FreeMaps();
    for (int32_t t = 1; t < NUM_MAPS; ++t) {
        Map* p = &Maps[t];
        p->AllocatedMappings = TABLES[t].Count;
        p->Mapping = new MapEntry[p->AllocatedMappings];
        for (int32_t i = 0; i < TABLES[t].Count; ++i) {
            const Word& w = TABLES[t].Words[i];
            p->Mapping[p->Mappings++] = MapEntry{lowerCopy(w.Name), w.Value, 0xFFFFFFFFu, ST_UNDEFINED, w.ValueTable};
        }
        ASSERT(p->Mappings == p->AllocatedMappings);
    }
    MissingReported = false;
}

void MatCore::FreeMaps()
{
    for (Map& map : Maps) {
        for (int32_t i = 0; i < map.Mappings; ++i) delete[] map.Mapping[i].Name;
        delete[] map.Mapping;
        map = Map();
    }
}

bool MatCore::FindMapping(int32_t table, const char* word, DWORD* value, DWORD* valueTable) const
{
    if (table < 0 || table >= NUM_MAPS || !word) return false;
    const Map& map = Maps[table];
    for (int32_t i = 0; i < map.Mappings; ++i) {
        const char* a = map.Mapping[i].Name;
        const char* b = word;
        while (*a && std::tolower(static_cast<unsigned char>(*b)) == *a) ++a, ++b;
        if (*a || *b) continue;
        if (value) *value = map.Mapping[i].Value;
        if (valueTable) *valueTable = map.Mapping[i].ValueTable;
        return true;
    }
    return false;
}

MapEntry* MatCore::FindRenderStateMapping(DWORD state) { return findState(Maps[MAP_RENDERSTATES], state); }
MapEntry* MatCore::FindStageStateMapping(DWORD state) { return findState(Maps[MAP_STAGESTATES], state); }
