// Material files (.mtl): a global block, then shader alternatives "[shader]" ... "[end]", each
// with one to three "[pass]" ... "[end]" blocks whose states are recorded into the material's
// state lists. Each alternative is decided at its "[end]" against the device: capable, then
// validated, then validated again with point mip filtering; the first that passes is kept.
#include "matcore9/MatCore.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/LogWriter.h"
#include "d3dcore9/ShaderTables.h"
#include "matcore9/MaterialReader.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <strings.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD MAX_STREAMS_PER_MATERIAL = 16;
const DWORD MAX_VS_MATRIX_REGISTER = 92;  // four registers from it must fit in the 96
const DWORD SS_MIPFILTER = 100 + D3DSAMP_MIPFILTER;
const DWORD SS_MIPMAPLODBIAS = 100 + D3DSAMP_MIPMAPLODBIAS;
const HRESULT ERR_ALWAYS_FAIL = static_cast<HRESULT>(0xFEDC0004u);
const HRESULT ERR_NO_PIXEL_SHADERS = static_cast<HRESULT>(0xFEDC0006u);

struct StreamType {
    const char* Name;
    BYTE Type;
    WORD Size;
};
const StreamType STREAM_TYPES[] = {
    {"float1", D3DDECLTYPE_FLOAT1, 4},   {"float2", D3DDECLTYPE_FLOAT2, 8},     {"float3", D3DDECLTYPE_FLOAT3, 12},
    {"float4", D3DDECLTYPE_FLOAT4, 16},  {"d3dcolor", D3DDECLTYPE_D3DCOLOR, 4}, {"ubyte4", D3DDECLTYPE_UBYTE4, 4},
    {"short2", D3DDECLTYPE_SHORT2, 4},   {"short4", D3DDECLTYPE_SHORT4, 8},
};

// The stage states whose misplaced stage is named in the message.
struct NamedStageState {
    DWORD State;
    const char* Name;
};
const NamedStageState NAMED_STAGE_STATES[] = {
    {D3DTSS_COLOROP, "COLOROP"},     {D3DTSS_COLORARG1, "COLORARG1"}, {D3DTSS_COLORARG2, "COLORARG2"},
    {D3DTSS_ALPHAOP, "ALPHAOP"},     {D3DTSS_ALPHAARG1, "ALPHAARG1"}, {D3DTSS_ALPHAARG2, "ALPHAARG2"},
    {SS_MIPFILTER, "MIPFILTER"},     {D3DTSS_TEXCOORDINDEX, "TEXCOORDINDEX"},
};

const char* const MATRIX_WORDS[] = {"wvpmatrix", "wmatrix",   "vmatrix",      "pmatrix",   "vpmatrix",
                                    "wvmatrix",  "wvmatrixi", "pscubematrix", "cubematrix"};

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...)
{
    char text[2048];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

char* copyOf(const std::string& s)
{
    char* copy = new char[s.size() + 1];
    std::memcpy(copy, s.c_str(), s.size() + 1);
    return copy;
}

std::string lowered(const char* s)
{
    std::string out(s ? s : "");
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The texture formats the device offers in the mode in use (windowed: the desktop's).
const ListMngr<Tex>* deviceTextureFormats()
{
    if (D3DCore.CurrentModeType) return &D3DCore.CurrentModeType->TextureFormats;
    if (D3DCore.CurrentDevice) return &D3DCore.CurrentDevice->DesktopMode.TextureFormats;
    return nullptr;
}

const DXDevice* device() { return D3DCore.CurrentDevice ? D3DCore.CurrentDevice : D3DCore.pDevice; }

// Recording that a fatal error interrupts must not leave the recorder busy.
struct RecordingGuard {
    GMaterial* GM;
    ~RecordingGuard()
    {
        StateBlockTable& table = D3DCore.StateBlocks;
        if (table.RecordStarted && table.RecMaterial == GM) table.EndRecord();
    }
};

class MaterialParser {
public:
    MaterialParser(MaterialReader& in, GMaterial* GM, const char* name, const char* file)
        : in(in), GM(GM), Name(name), File(file), Folder(MaterialFolder(file))
    {
    }

    // True when an alternative validated.
    bool Run(BYTE* Lit, BYTE* VSLit, HRESULT* ErrorCode);

private:
    enum Outcome { CHOSEN, REJECTED, BAD_VALUE };

    Outcome Shader();
    bool Pass();
    Outcome Decide();
    bool ShaderKeyword();
    bool PassKeyword();
    bool Stream();
    bool SetRenderState();
    bool SetTextureStageState();
    bool BuildStreams(std::vector<D3DVERTEXELEMENT9>& declaration);

    [[noreturn]] void Fatal(const std::string& text) { MatCore.FatalError(text.c_str()); }
    // A pass error: the text with the material, alternative, pass and line before it.
    [[noreturn]] void PassError(const char* text)
    {
        Fatal(format("Material: %s\nShader %u Pass %u Line %u\n%s", Name, Number, PassIndex + 1, in.Line(), text));
    }
    void Report(const char* expression)
    {
        assertFailedMsg(format("%s line %u", File, in.Line()).c_str(), expression, __FILE__, __LINE__);
        in.Failed = true;
    }

    MaterialReader& in;
    GMaterial* GM;
    const char* Name;  // lower-cased
    const char* File;  // as given
    std::string Folder;
    HRESULT LastError = E_FAIL;
    BYTE OutLit = 0;

    // The alternative being read.
    DWORD Number = 0;  // from 1
    bool PassesGiven = false, LightingGiven = false, DiffuseGiven = false, AmbientGiven = false;
    bool SimultaneousGiven = false, VertexFormatGiven = false, AlwaysPass = false, AlwaysFail = false;
    BYTE DiffuseSource = 0, AmbientSource = 0;
    DWORD Simultaneous = 0, PassesRead = 0, Streams = 0;
    std::vector<D3DVERTEXELEMENT9> StreamElements[MAX_STREAMS_PER_MATERIAL];
    bool StreamDefined[MAX_STREAMS_PER_MATERIAL] = {};
    std::string VertexShader, PixelShader, TextureAnimation;

    // The pass being read.
    DWORD PassIndex = 0;
    bool StagesGiven = false, TextureFactorInPass = false;
};

bool MaterialParser::Run(BYTE* Lit, BYTE* VSLit, HRESULT* ErrorCode)
{
    DWORD Shaders = 0xffffffff;
    DWORD tried = 0;
    while (in.Next()) {
        if (in.Is("shaders")) {
            if (Shaders != 0xffffffff) {
                Report("Shaders == 0xffffffff");
                break;
            }
            if (!in.Integer(&Shaders, 1)) break;
        } else if (in.Is("materialid")) {
            std::string id;
            if (!in.String(&id)) break;
            if (GM->MatID) {
                Report("GMaterial->MatID == NULL");
                break;
            }
            GM->MatID = copyOf(id);
        } else if (in.Is("[shader]")) {
            if (Shaders == 0xffffffff) Fatal(format("Material %s does not define number of shaders in global block", Name));
            Number = ++tried;
            const Outcome outcome = Shader();
            if (outcome == CHOSEN) {
                *Lit = OutLit;
                *VSLit = GM->VSLit;
                *ErrorCode = D3D_OK;
                return true;
            }
            if (outcome == BAD_VALUE || tried >= Shaders) break;
        } else {
            in.UnknownKeyword();
        }
    }
    *ErrorCode = in.Failed ? E_FAIL : LastError;
    return false;
}

MaterialParser::Outcome MaterialParser::Shader()
{
    PassesGiven = LightingGiven = DiffuseGiven = AmbientGiven = false;
    SimultaneousGiven = VertexFormatGiven = AlwaysPass = AlwaysFail = false;
    DiffuseSource = AmbientSource = 0;
    Simultaneous = PassesRead = Streams = 0;
    for (auto& e : StreamElements) e.clear();
    for (bool& d : StreamDefined) d = false;
    VertexShader.clear();
    PixelShader.clear();
    TextureAnimation.clear();
    while (in.Next()) {
        if (in.Is("[end]")) return Decide();
        if (in.Is("[pass]")) {
            if (!Pass()) return BAD_VALUE;
        } else if (!ShaderKeyword()) {
            return BAD_VALUE;
        }
    }
    if (in.Failed) return BAD_VALUE;
    // The file ends inside the alternative or one of its passes: it is never decided, and the
    // next one (or the fall-back) stands in. The cut is said, naming the file, as any block
    // file's is.
    assertFailedMsg(concatStrings("Block file ", File, ": ends inside a block"), "in.Is(\"[end]\")", __FILE__, __LINE__);
    return REJECTED;
}

bool MaterialParser::ShaderKeyword()
{
    DWORD a = 0, b = 0;
    BYTE flag = 0;
    if (in.Is("passes")) {
        if (PassesGiven) {
            Report("GMaterial->Passes == 0");
            return false;
        }
        if (!in.Integer(&a, 1, MAXPASSES)) return false;
        GM->Passes = a;
        PassesGiven = true;
    } else if (in.Is("optimise")) {
        MatCore.Warning(format("Obsolete Optimise command in %s", Name).c_str());
    } else if (in.Is("useprocessvertices")) {
    } else if (in.Is("uvsource")) {
        if (!in.Integer(&a, 0, MAXSBSTAGES - 1) || !in.Integer(&b, 0, MAXSBSTAGES - 1)) return false;
        GM->UVSource[a] = static_cast<BYTE>(b);
    } else if (in.Is("ambientreflection") || in.Is("diffusereflection")) {
        const bool ambient = in.Is("ambientreflection");
        if (!in.NameValue(MAP_REFLECTION, &a, 1)) return false;
        (ambient ? AmbientSource : DiffuseSource) = static_cast<BYTE>(a);
        (ambient ? AmbientGiven : DiffuseGiven) = true;
    } else if (in.Is("simultaneoustextures")) {
        if (!in.Integer(&Simultaneous, 0, MAXSBTEXTURES)) return false;
        SimultaneousGiven = true;
    } else if (in.Is("streams")) {
        if (VertexFormatGiven) Fatal(std::string("Duplicate vertex format declaration in\n") + File);
        if (!in.Integer(&Streams, 1, MAX_STREAMS_PER_MATERIAL)) return false;
        VertexFormatGiven = true;
    } else if (in.Is("stream")) {
        return Stream();
    } else if (in.Is("fvf")) {
        if (VertexFormatGiven) Fatal(std::string("Duplicate vertex format declaration in\n") + File);
        if (!in.NameValue(MAP_FVF, &a)) return false;
        GM->FVFFormat.D3DFlags = a;
        MatCore.DeclaredFVF = a;
        VertexFormatGiven = true;
    } else if (in.Is("lighting")) {
        if (!in.Bool(&GM->Lit)) return false;
        LightingGiven = true;
    } else if (in.Is("vslighting")) {
        if (!in.Bool(&GM->VSLit)) return false;
    } else if (in.Is("sort")) {
        if (!in.NameValue(MAP_SORT, &GM->DelayedSort, SORT_LAST)) return false;
    } else if (in.Is("sortscale")) {
        if (!in.NameValue(MAP_SORTSCALE, &GM->SortScale, 2)) return false;
    } else if (in.Is("sortbias")) {
        if (!in.Float(&GM->SortBias)) return false;
    } else if (in.Is("ignorealpha")) {
        if (!in.Integer(&a, 0, MAXSBTEXTURES - 1)) return false;
        GM->IgnoreAlpha[a] = 1;
    } else if (in.Is("textureformat")) {
        if (!in.Integer(&a, 0, MAXSBTEXTURES - 1)) return false;
        const ListMngr<Tex>* offered = deviceTextureFormats();
        GM->TexFormat[a] = nullptr;
        for (;;) {
            DWORD candidate = 0;
            bool end = false;
            if (!in.TextureFormat(&candidate, &end)) {
                if (end) break;
                return false;
            }
            for (Tex* t = offered ? offered->First : nullptr; t && !GM->TexFormat[a]; t = t->Next)
                if (static_cast<DWORD>(t->Format) == candidate) GM->TexFormat[a] = t;
        }
    } else if (in.Is("cubemap") || in.Is("usemipmaps")) {
        const bool cube = in.Is("cubemap");
        if (!in.Integer(&a, 0, MAXSBTEXTURES - 1) || !in.Bool(&flag)) return false;
        (cube ? GM->CubeMap : GM->UseMipMaps)[a] = flag;
    } else if (in.Is("blackfog")) {
        return in.Bool(&GM->BlackFog);
    } else if (in.Is("addfade")) {
        return in.Bool(&GM->AddFade);
    } else if (in.Is("addfademodulate")) {
        return in.Bool(&GM->AddFadeModulate);
    } else if (in.Is("minmipsize")) {
        if (!in.Integer(&a, 0, MAXSBTEXTURES - 1) || !in.Integer(&b, 0, 256)) return false;
        if (b == 0) b = 1;
        if (b & (b - 1)) {
            in.ParameterError(MaterialReader::PARAM_NUMBER);
            return false;
        }
        GM->MinMipSize[a] = b;
    } else if (in.Is("alwaysfail")) {
        AlwaysFail = true;
    } else if (in.Is("alwayspass")) {
        AlwaysPass = true;
    } else if (in.Is("textureanimation") || in.Is("vertexshader") || in.Is("pixelshader")) {
        std::string file;
        if (!in.String(&file)) return false;
        (in.Is("textureanimation") ? TextureAnimation : in.Is("vertexshader") ? VertexShader : PixelShader) =
            Folder + file;
    } else if (in.Is("pixelshaderminregister") || in.Is("pixelshadermaxregister")) {
        if (!in.Integer(&a, 0, MAX_PS_CONSTANTS - 1)) return false;
        (in.Is("pixelshaderminregister") ? GM->PSRegisterMin : GM->PSRegisterMax) = static_cast<int32_t>(a);
    } else if (in.Is("vertexshaderminregister") || in.Is("vertexshadermaxregister")) {
        if (!in.Integer(&a, 0, MAX_VS_CONSTANTS - 1)) return false;
        (in.Is("vertexshaderminregister") ? GM->VSRegisterMin : GM->VSRegisterMax) = static_cast<int32_t>(a);
    } else if (in.Is("vertexshaderregister")) {
        if (!in.Integer(&a, 0, MAX_VS_MATRIX_REGISTER)) return false;
        int32_t* registers[] = {&GM->wvpmatrix, &GM->wmatrix,   &GM->vmatrix,      &GM->pmatrix,   &GM->vpmatrix,
                                &GM->wvmatrix,  &GM->wvmatrixi, &GM->pscubematrix, &GM->cubematrix};
        const std::string word = lowered(in.NextToken().c_str());
        for (size_t i = 0; i < sizeof registers / sizeof registers[0]; ++i)
            if (word == MATRIX_WORDS[i]) {
                *registers[i] = static_cast<int32_t>(a);
                return true;
            }
        in.ParameterError(MaterialReader::PARAM_ARGUMENT);
        return false;
    } else {
        in.UnknownKeyword();
    }
    return !in.Failed;
}

bool MaterialParser::Stream()
{
    if (Streams == 0) Fatal(std::string("Illegal stream command (number of streams not defined)\n") + File);
    DWORD s = 0;
    if (!in.Integer(&s)) return false;
    if (s >= Streams) Fatal(std::string("Illegal stream number\n") + File);
    if (StreamDefined[s]) Fatal(std::string("Stream defined twice\n") + File);
    StreamDefined[s] = true;
    size_t total = 0;
    for (const auto& e : StreamElements) total += e.size();
    WORD offset = 0;
    for (std::string token = in.NextToken(); !token.empty(); token = in.NextToken()) {
        const size_t colon = token.find(':');
        const std::string type = lowered(token.substr(0, colon).c_str());
        const std::string index = colon == std::string::npos ? "" : token.substr(colon + 1);
        const StreamType* kind = nullptr;
        for (const StreamType& t : STREAM_TYPES)
            if (type == t.Name) kind = &t;
        const bool digits = !index.empty() && index.size() <= 2 && index.find_first_not_of("0123456789") == std::string::npos;
        // The declaration holds 16 elements, its end among them.
        if (!kind || !digits || std::stoi(index) > 15 || total + 1 >= MAXDECLARATIONELEMENTS)
            Fatal(std::string("Illegal stream definition in\n") + File);
        D3DVERTEXELEMENT9 e{static_cast<WORD>(s), offset, kind->Type, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION,
                            static_cast<BYTE>(std::stoi(index))};
        StreamElements[s].push_back(e);
        offset = static_cast<WORD>(offset + kind->Size);
        ++total;
    }
    if (StreamElements[s].empty()) Fatal(std::string("Illegal stream definition in\n") + File);
    return true;
}

bool MaterialParser::Pass()
{
    PassIndex = PassesRead;
    if (PassIndex >= GM->Passes)
        Fatal(format("Too many passes in material %s shader %u line %u", Name, Number, in.Line()));
    if (!LightingGiven) Fatal(format("Missing Lighting command in material %s shader %u line %u", Name, Number, in.Line()));
    if (GM->Lit && !DiffuseGiven)
        Fatal(format("Missing DiffuseReflection command in material %s shader %u line %u", Name, Number, in.Line()));
    if (GM->Lit && !AmbientGiven)
        Fatal(format("Missing AmbientReflection command in material %s shader %u line %u", Name, Number, in.Line()));
    GM->BumpMapType[PassIndex] = BUMP_NONE;
    StagesGiven = TextureFactorInPass = false;
    StateBlockTable& table = D3DCore.StateBlocks;
    table.BeginRecordPass(GM, PassIndex);
    RecordingGuard guard{GM};
    while (in.Next()) {
        if (in.Is("[end]")) {
            if (!StagesGiven) PassError("Missing Stages command");
            if (PassIndex == 0) table.RecordRenderState(D3DRS_LIGHTING, GM->Lit);
            MatCore.CompleteMaterialStates(GM, PassIndex);
            table.EndRecord();
            ++PassesRead;
            return true;
        }
        if (!PassKeyword()) return false;
    }
    // The file ends inside the pass: the alternative is never decided.
    return !in.Failed;
}

bool MaterialParser::PassKeyword()
{
    const DWORD p = PassIndex;
    DWORD s = 0, v = 0;
    if (in.Is("stages")) {
        if (!in.Integer(&v, 0, MAXSBSTAGES)) return false;
        GM->Stages[p] = v;
        StagesGiven = true;
    } else if (in.Is("bumpmaptype")) {
        if (!in.NameValue(MAP_BUMPMAPTYPE, &v, BUMP_NONE)) return false;
        if (v == BUMP_DOT3TFACTOR && TextureFactorInPass)
            PassError("BumpMapType DOT3TFACTOR and SetRenderState TEXTUREFACTOR are mutually exclusive");
        GM->BumpMapType[p] = v;
    } else if (in.Is("stageid")) {
        std::string name;
        if (!in.Integer(&s, 0, MAXSBSTAGES - 1) || !in.String(&name)) return false;
        if (!StagesGiven) PassError("Number of stages must be defined before StageID");
        if (s >= GM->Stages[p]) PassError("StageID stage too big");
        if (GM->StageName[p][s]) PassError("StageID already in use");
        GM->StageName[p][s] = copyOf(name);
    } else if (in.Is("settexture")) {
        if (!in.Integer(&s, 0, MAXSBSTAGES - 1)) return false;
        if (!StagesGiven) PassError("Missing Stages command");
        if (s >= GM->Stages[p]) PassError("Invalid stage for SETTEXTURE");
        if (!in.NameValue(MAP_TEXTURENONE, &v)) return false;
        if (v != 0xFFFFFFFFu && v >= MAXSBTEXTURES) {
            in.ParameterError(MaterialReader::PARAM_NUMBER);
            return false;
        }
        if (v != 0xFFFFFFFFu && !GM->TexFormat[v])
            Fatal(std::string("Material ") + Name + "not supported. No suitable texture formats");
        GM->TextureIndex[p][s] = v == 0xFFFFFFFFu ? -1 : static_cast<int32_t>(v);
    } else if (in.Is("setrenderstate")) {
        return SetRenderState();
    } else if (in.Is("settexturestagestate")) {
        return SetTextureStageState();
    } else {
        in.UnknownKeyword();
    }
    return true;
}

bool MaterialParser::SetRenderState()
{
    DWORD state = 0, value = 0;
    const MapEntry* e = nullptr;
    if (!in.StateName(MAP_RENDERSTATES, &state, &e) || !in.NameValue(static_cast<int32_t>(e->ValueTable), &value))
        return false;
    // Colour masks are written blue first.
    if (state == D3DRS_COLORWRITEENABLE) value = (value & ~5u) | ((value & 1u) << 2) | ((value & 4u) >> 2);
    if (state == D3DRS_TEXTUREFACTOR) {
        if (GM->BumpMapType[PassIndex] == BUMP_DOT3TFACTOR)
            PassError("BumpMapType DOT3TFACTOR and SetRenderState TEXTUREFACTOR are mutually exclusive");
        GM->TextureFactor = value;
        GM->UseTextureFactor = 1;
        TextureFactorInPass = true;
        return true;
    }
    if (e->Usage == ST_NEVER)
        Fatal(format("Error: Never state <%s> not allowed in material %s line %u", e->Name, Name, in.Line()));
    if (e->Usage == ST_NEVERW) {
        MatCore.Warning(format("Warning: Never state <%s> ignored in material %s line %u", e->Name, Name, in.Line()).c_str());
        return true;
    }
    if (e->Usage == ST_RARE && value == e->Default) return true;
    if (state == D3DRS_ZENABLE) {
        if (value == D3DZB_USEW) {
            Report("Value != D3DZB_USEW");
            return false;
        }
        if (!D3DCore.DepthBufferEnabled) return true;
        const DXDevice* dev = device();
        if (value == D3DZB_TRUE && dev && dev->WBuffer && D3DCore.WBufferOption) value = D3DZB_USEW;
    }
    if (state == RS_ZBIAS) {
        GM->DepthBias[PassIndex] = static_cast<float>(value);
        return true;
    }
    D3DCore.StateBlocks.RecordRenderState(state, value);
    return true;
}

bool MaterialParser::SetTextureStageState()
{
    DWORD s = 0, state = 0, value = 0;
    const MapEntry* e = nullptr;
    if (!in.Integer(&s, 0, MAXSBSTAGES - 1) || !in.StateName(MAP_STAGESTATES, &state, &e) ||
        !in.NameValue(static_cast<int32_t>(e->ValueTable), &value))
        return false;
    if (!StagesGiven) PassError("Missing Stages command");
    if (s >= GM->Stages[PassIndex]) {
        const char* named = "SetTextureStageState";
        for (const NamedStageState& n : NAMED_STAGE_STATES)
            if (n.State == state) named = n.Name;
        PassError((std::string("Invalid stage for ") + named).c_str());
    }
    if (!VertexShader.empty() && state == D3DTSS_TEXCOORDINDEX && value != s)
        PassError("TexCoord Index must match stage index for VS materials");
    const DXDevice* dev = device();
    if (s >= D3DCore.StageCount()) return true;
    if (state == SS_MIPMAPLODBIAS && !(dev && dev->MipMapLODBias)) return true;
    if (e->Usage == ST_NEVER)
        Fatal(format("Error: Never stagestate %u <%s> not allowed in material %s line %u", s, e->Name, Name, in.Line()));
    if (e->Usage == ST_NEVERW || (e->Usage == ST_RARE && value == e->Default)) return true;
    D3DCore.StateBlocks.RecordStageState(s, state, value);
    return true;
}

bool MaterialParser::BuildStreams(std::vector<D3DVERTEXELEMENT9>& declaration)
{
    delete[] GM->StreamVertexSize;
    GM->StreamVertexSize = new DWORD[Streams]();
    GM->Streams = Streams;
    for (DWORD s = 0; s < Streams; ++s)
        for (const D3DVERTEXELEMENT9& e : StreamElements[s]) {
            declaration.push_back(e);
            for (const StreamType& t : STREAM_TYPES)
                if (t.Type == e.Type) GM->StreamVertexSize[s] += t.Size;
        }
    declaration.push_back(D3DVERTEXELEMENT9{0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0});
    return true;
}

MaterialParser::Outcome MaterialParser::Decide()
{
    if (PassesRead < GM->Passes)
        Fatal(format(" Not enough passes in material %s shader %u line %u", Name, Number, in.Line()));
    if (AlwaysPass && AlwaysFail)
        Fatal(format("Shader in Material %s contains mutually exclusive AlwaysPass and AlwaysFail", Name));
    if (!SimultaneousGiven)
        Fatal(format("Shader in Material %s doesn't specify number of simultaneous textures", Name));

    std::vector<D3DVERTEXELEMENT9> declaration;
    if (Streams == 0) {
        if (GM->FVFFormat.D3DFlags != 0) AnalyseFVF(GM->FVFFormat);
        if (!GM->FVFFormat.FormatValid) Fatal(format("Material %s contains an invalid FVF", Name));
    } else {
        if (VertexShader.empty()) Fatal(std::string("Custom vertex streams must use vertex shaders\n") + File);
        BuildStreams(declaration);
    }
    const DXDevice* dev = device();
    if (!VertexShader.empty()) {
        if (GM->Passes != 1) Fatal("D3DCore doesn't support vertex shaders in multi-pass!");
        GM->VertexShader = static_cast<DWORD>(D3DCore.LoadVertexShader(
            VertexShader.c_str(), Name, GM->FVFFormat.D3DFlags, Streams > 0, Streams > 0 ? declaration.data() : nullptr));
    }
    if (!PixelShader.empty()) {
        if (GM->Passes != 1) Fatal("D3DCore doesn't support pixel shaders in multi-pass!");
        if (dev && dev->PixelShaders) GM->PixelShader = static_cast<DWORD>(D3DCore.LoadPixelShader(PixelShader.c_str(), Name));
    }
    if (Streams == 0 && GM->Lit && !GM->FVFFormat.Normal)
        Fatal(format("Material <%s> is lit, NORMAL needed in FVF format", Name));
    // A vertex colour source is kept as "not given" (-1), a model source as white.
    for (int i = 0; i < 3; ++i) {
        GM->Diffuse[i] = DiffuseSource ? -1.0f : 1.0f;
        GM->Ambient[i] = AmbientSource ? -1.0f : 1.0f;
    }

    HRESULT result = D3D_OK;
    bool capable = true;
    for (DWORD p = 0; p < GM->Passes; ++p)
        if (GM->Stages[p] > D3DCore.StageCount()) capable = false;
    if (!dev || Simultaneous > dev->MaxSimultaneousTextures) capable = false;
    if (!capable) result = D3DERR_TOOMANYOPERATIONS;
    if (!PixelShader.empty() && !(dev && dev->PixelShaders)) {
        capable = false;
        result = ERR_NO_PIXEL_SHADERS;
    }
    bool ok = false;
    DWORD passes = 0, calls = 0;
    if (capable) {
        MatCore.ApplyRenderDefaults();
        ok = D3DCore.ValidateMaterial(GM, &passes, &calls, &result);
        if (!ok) {
            MatCore.Warning(format("Warning: %s shader %u failed to validate", Name, Number).c_str());
            MatCore.SetStageStateAllStages(GM, SS_MIPFILTER, D3DTEXF_POINT);
            ok = D3DCore.ValidateMaterial(GM, &passes, &calls, &result);
            if (ok) MatCore.Warning(format("Warning: %s uses shader %u mip-filter sub-shader", Name, Number).c_str());
        } else if (Number >= 2) {
            MatCore.Warning(format("Warning: %s uses shader %u", Name, Number).c_str());
        }
    }
    const bool validated = ok;
    if (AlwaysPass) ok = true;
    if (AlwaysFail) {
        ok = false;
        result = ERR_ALWAYS_FAIL;
    }
    if (!ok) {
        LastError = result;
        // The alternative's traces go; the name and identifier stay for the next one.
        char* name = GM->Name;
        char* id = GM->MatID;
        GM->Name = GM->MatID = nullptr;
        GM->Clear();
        GM->Name = name;
        GM->MatID = id;
        return REJECTED;
    }
    if (validated && calls != GM->Passes)
        MatCore.Warning(
            format("Warning: %s takes %u call%s but %u passes", Name, calls, calls == 1 ? "" : "s", GM->Passes).c_str());
    OutLit = GM->Lit;
    for (DWORD p = 0; p < GM->Passes; ++p)
        if (GM->BumpMapType[p] != BUMP_NONE) OutLit = 1;
    GM->ShaderUsed = Number - 1;
    MatCore.BuildRestoreList(GM);
    if (!TextureAnimation.empty()) MatCore.CompileTextureAnimation(TextureAnimation.c_str(), GM);
    return CHOSEN;
}

// Owns the material being parsed until it is handed out.
struct MaterialHolder {
    GMaterial* GM = new GMaterial();
    ~MaterialHolder()
    {
        if (GM) GM->Release();
    }
};

}  // namespace

const char* MatCore::FallbackMaterial(DWORD fvf)
{
    if ((fvf & D3DFVF_TEXCOUNT_MASK) == 0) return "data\\fallbackmaterials\\vc.mtl";
    return (fvf & D3DFVF_DIFFUSE) ? "data\\fallbackmaterials\\t1_vc.mtl" : "data\\fallbackmaterials\\t1.mtl";
}

bool MatCore::ParseMaterial(const char* Name, GMaterial** Slot, BYTE* Lit, BYTE* VSLit, HRESULT* ErrorCode,
                            CFile* File)
{
    BYTE lit = 0, vsLit = 0;
    HRESULT error = E_FAIL;
    if (!Lit) Lit = &lit;
    if (!VSLit) VSLit = &vsLit;
    if (!ErrorCode) ErrorCode = &error;
    *ErrorCode = E_FAIL;
    DeclaredFVF = 0;
    if (!VERIFY(Name != NULL) || !VERIFY(Slot != NULL)) return false;
    const std::string name = lowered(Name);
    StateBlock* same = nullptr;
    if (!*Slot && D3DCore.FindStateBlockByName(name.c_str(), &same)) {
        *Slot = same->GMaterial;
        (*Slot)->AddRef();
    }
    if (*Slot) {
        *Lit = (*Slot)->Lit;
        *VSLit = (*Slot)->VSLit;
        DeclaredFVF = (*Slot)->FVFFormat.D3DFlags;
        *ErrorCode = D3D_OK;
        return true;
    }

    ReadingFile reading(Name);
    CFile own;
    CFile& file = File ? *File : own;
    if (File ? !File->IsOpen() || !File->Seek(0, 0) : !own.Open(Name, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        const DWORD error = File ? ERROR_SUCCESS : own.LastError();
        assertFailedMsg(openFailureText(Name, error, concatStrings("Material ", Name, " Not Found")).c_str(), "FileOK",
                        __FILE__, __LINE__);
        return false;
    }
    MaterialHolder holder;
    holder.GM->Name = copyOf(name);
    MaterialReader in(file, Name);
    MaterialParser parser(in, holder.GM, holder.GM->Name, Name);
    const bool chosen = parser.Run(Lit, VSLit, ErrorCode);
    file.Close();
    if (!chosen) return false;
    *Slot = holder.GM;
    holder.GM = nullptr;
    return true;
}
