// The render defaults: data\renderdefault.txt gives every managed state a default and a usage class;
// the device is forced to them, and materials are completed and restored against them.
#include "matcore9/MatCore.h"

#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const DEFAULTS_FILE = "data\\renderdefault.txt";
const char* const USAGE_WORDS[] = {"always", "alwaysw", "rare", "neverw", "never"};

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }

// The next word, terminated in place; null at the end of the line.
char* nextWord(char*& p)
{
    while (*p && isSeparator(*p)) ++p;
    if (!*p) return nullptr;
    char* word = p;
    while (*p && !isSeparator(*p)) ++p;
    if (*p) *p++ = 0;
    return word;
}

bool allOf(const char* s, const char* allowed)
{
    if (!*s) return false;
    for (; *s; ++s)
        if (!std::strchr(allowed, *s)) return false;
    return true;
}

// One piece of a value: a number in one of its three spellings; false when it is none of them.
bool parseNumber(const char* piece, DWORD* value)
{
    const size_t n = std::strlen(piece);
    char* end = nullptr;
    errno = 0;
    if (allOf(piece, "0123456789")) {
        const unsigned long long v = std::strtoull(piece, &end, 10);
        if (errno == ERANGE || v > 0xFFFFFFFFull) return false;
        *value = static_cast<DWORD>(v);
        return true;
    }
    if (n > 2 && n <= 10 && piece[0] == '0' && piece[1] == 'x' && allOf(piece + 2, "0123456789abcdef")) {
        *value = static_cast<DWORD>(std::strtoul(piece + 2, &end, 16));
        return true;
    }
    if (n > 1 && piece[n - 1] == 'f') {
        char number[64];
        if (n - 1 >= sizeof(number)) return false;
        std::memcpy(number, piece, n - 1);
        number[n - 1] = 0;
        if (!allOf(number, "0123456789.-") || !std::strpbrk(number, "0123456789")) return false;
        const float f = std::strtof(number, &end);
        if (*end) return false;
        std::memcpy(value, &f, 4);
        return true;
    }
    return false;
}

// Red and blue exchanged, as the files write colour masks.
DWORD swapRedBlue(DWORD v) { return (v & ~5u) | ((v & 1u) << 2) | ((v & 4u) >> 2); }

StateNode* newNode(DWORD type, DWORD stage, DWORD state, DWORD value)
{
    StateNode* node = new StateNode();
    node->Type = type;
    node->Stage = stage;
    node->State = state;
    node->Value = value;
    return node;
}

// Keeps the last node of a state in the list and removes the earlier ones; counts the removed.
// The node kept, or null when there is none.
StateNode* keepLast(StateList& list, DWORD type, DWORD stage, DWORD state, int* removed)
{
    StateNode* kept = nullptr;
    *removed = 0;
    for (StateNode* node = list.Last; node;) {
        StateNode* prev = node->Prev;
        if (node->Type == type && node->State == state && (type != NODE_STAGESTATE || node->Stage == stage)) {
            if (!kept) {
                kept = node;
            } else {
                list.Remove(node);
                ++*removed;
            }
        }
        node = prev;
    }
    return kept;
}

// The last value of a state over the lists, in order; false when none sets it.
bool lastValue(const GMaterial* GM, DWORD type, DWORD stage, DWORD state, DWORD* value)
{
    bool found = false;
    for (DWORD p = 0; p < GM->Passes && p < MAXPASSES; ++p) {
        if (type == NODE_STAGESTATE && stage >= GM->Stages[p]) continue;
        for (const StateNode* node = GM->PassStates[p].First; node; node = node->Next)
            if (node->Type == type && node->State == state && (type != NODE_STAGESTATE || node->Stage == stage)) {
                *value = node->Value;
                found = true;
            }
    }
    return found;
}

const char* materialName(const GMaterial* GM) { return GM->Name ? GM->Name : ""; }

}  // namespace

// ---- Tables and the defaults file ----

void MatCore::InitRenderStates()
{
    BuildMaps();
    LoadRenderDefaults();
}

void MatCore::ShutdownRenderStates() { FreeMaps(); }

bool MatCore::ParseValue(int32_t table, const char* text, DWORD* value) const
{
    if (!text) return false;
    // Separators before the value are not its end: files line values up with tabs.
    text += std::strspn(text, " \t,");
    char rest[RENDERDEFAULT_LINE_SIZE];
    size_t n = 0;
    while (text[n] && n < sizeof(rest) - 1 && !std::strchr("\t,/\r\n", text[n])) {
        rest[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[n])));
        ++n;
    }
    rest[n] = 0;
    if (rest[0] == ';') return false;
    DWORD result = 0;
    bool any = false;
    char* save = nullptr;
    for (char* piece = strtok_r(rest, " |", &save); piece; piece = strtok_r(nullptr, " |", &save)) {
        DWORD v = 0;
        if (!parseNumber(piece, &v) && !FindMapping(table, piece, &v)) return false;
        result |= v;
        any = true;
    }
    if (any) *value = result;
    return any;
}

void MatCore::LoadRenderDefaults()
{
    ReadingFile reading(DEFAULTS_FILE);
    CFile file;
    if (!file.Open(DEFAULTS_FILE, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        ReportApart apart;  // the report that ends the run is always written
        D3DCore::WriteLog(openFailureText(DEFAULTS_FILE, file.LastError(), "failed to open data\\renderdefault.txt").c_str());
        stopRun("as data\\renderdefault.txt cannot be opened", false);
    }
    char line[RENDERDEFAULT_LINE_SIZE];
    bool cut = false;
    while (file.ReadLine(line, sizeof(line))) {
        // A line longer than the buffer keeps its first part; the rest is not a line of its own.
        const bool whole = std::strchr(line, '\n') != nullptr;
        const bool skip = cut;
        cut = !whole;
        if (skip) continue;
        char* p = line;
        const char* first = nextWord(p);
        if (!first || (first[0] == '/' && first[1] == '/')) continue;
        const bool render = strcasecmp(first, "renderstate") == 0;
        if (!render && strcasecmp(first, "texturestagestate") != 0) {
            assertFailed("Processed", __FILE__, __LINE__);
            continue;
        }
        DWORD state = 0, valueTable = 0;
        if (!FindMapping(render ? MAP_RENDERSTATES : MAP_STAGESTATES, nextWord(p), &state, &valueTable)) {
            if (!render) assertFailed("false", __FILE__, __LINE__);
            continue;
        }
        DWORD Usage = ST_UNDEFINED;
        if (const char* word = nextWord(p))
            for (DWORD u = 0; u < 5; ++u)
                if (strcasecmp(word, USAGE_WORDS[u]) == 0) Usage = u;
        ASSERT(Usage != ST_UNDEFINED);
        DWORD value = 0;
        if (!ParseValue(static_cast<int32_t>(valueTable), p, &value)) {
            assertFailed("false", __FILE__, __LINE__);
            continue;
        }
        if (render) SetRenderStateDefault(state, value, Usage);
        else SetStageStateDefault(state, value, Usage);
    }
    DefaultsFileReported = reading.reported();
}

void MatCore::SetRenderStateDefault(DWORD state, DWORD value, DWORD StateType)
{
    MapEntry* entry = FindRenderStateMapping(state);
    if (!entry) return;
    ASSERT(StateType != ST_UNDEFINED);
    entry->Default = state == D3DRS_COLORWRITEENABLE ? swapRedBlue(value) : value;
    if (StateType != ST_KEEP) entry->Usage = StateType;
}

void MatCore::SetStageStateDefault(DWORD state, DWORD value, DWORD StateType)
{
    MapEntry* entry = FindStageStateMapping(state);
    if (!entry) return;
    ASSERT(StateType != ST_UNDEFINED);
    entry->Default = value;
    if (StateType != ST_KEEP) entry->Usage = StateType;
}

// ---- The device ----

void MatCore::ReportMissingDefaults()
{
    // Once per load: this runs before every material validation, and reports end the run at five.
    if (MissingReported) return;
    MissingReported = true;
    // A state missing from the file is a fault of the file: the first is said, naming it, and the
    // rest follow from a file cut short or damaged. After a line already reported (one that left
    // its state undefined) they all follow from that report, made in an earlier read.
    if (DefaultsFileReported) return;
    ReadingFile reading(DEFAULTS_FILE);
    for (int32_t t = MAP_RENDERSTATES; t <= MAP_STAGESTATES; ++t)
        for (int32_t i = 0; i < Maps[t].Mappings; ++i)
            if (Maps[t].Mapping[i].Usage == ST_UNDEFINED)
                assertFailedMsg(concatStrings(t == MAP_RENDERSTATES ? "RenderState <" : "TextureStageState <",
                                              Maps[t].Mapping[i].Name, "> missing from renderdefault.txt"),
                                "false", __FILE__, __LINE__);
}

void MatCore::ApplyRenderDefaults()
{
    D3DCore.InvalidateStateCache();
    ReportMissingDefaults();
    Map& rs = Maps[MAP_RENDERSTATES];
    for (int32_t i = 0; i < rs.Mappings; ++i) {
        MapEntry& e = rs.Mapping[i];
        // Undefined states are not sent; ZBIAS is no device state.
        if (e.Usage == ST_UNDEFINED || e.Value == RS_ZBIAS) continue;
        if (e.Value == D3DRS_ZENABLE) {
            // The choice becomes the default: USEW is gone for good on a device without W-buffering.
            const DXDevice* dev = D3DCore.CurrentDevice;
            if (!D3DCore.DepthBufferEnabled || e.Default == D3DZB_FALSE) {
                e.Default = D3DZB_FALSE;
            } else if (e.Default == D3DZB_USEW && dev && dev->WBuffer && D3DCore.WBufferOption) {
                D3DCore.WBufferInUse = 1;
            } else {
                e.Default = D3DZB_TRUE;
                D3DCore.WBufferInUse = 0;
            }
        }
        HRESULT Err = D3DCore.ForceRenderState(e.Value, e.Default);
        ASSERT(Err == D3D_OK);
    }
    const DWORD stages = D3DCore.StageCount();
    Map& ss = Maps[MAP_STAGESTATES];
    for (int32_t i = 0; i < ss.Mappings; ++i) {
        const MapEntry& e = ss.Mapping[i];
        if (e.Usage == ST_UNDEFINED) continue;
        for (DWORD s = 0; s < stages; ++s) {
            HRESULT Err = D3DCore.ForceTextureStageState(s, e.Value, e.Default);
            ASSERT(Err == D3D_OK);
        }
    }
    D3DCore.ResetTexCoordIndex = 1;
    D3DCore.HWVertexProcessing = 1;
    // Every stage may now be in use: the first material disables those it does not use.
    D3DCore.ActiveStages = stages;
    D3DCore.SaveRenderDefaults();
}

// ---- Materials ----

void MatCore::CompleteMaterialStates(GMaterial* GM, DWORD pass)
{
    if (pass != 0 || !VERIFY(GM != NULL)) return;
    StateList& list = GM->PassStates[0];
    char text[512];
    const Map& rs = Maps[MAP_RENDERSTATES];
    for (int32_t i = 0; i < rs.Mappings; ++i) {
        const MapEntry& e = rs.Mapping[i];
        if (e.Usage != ST_ALWAYS && e.Usage != ST_ALWAYSW) continue;
        int removed = 0;
        const StateNode* kept = keepLast(list, NODE_RENDERSTATE, 0, e.Value, &removed);
        for (int r = 0; r < removed; ++r) {
            snprintf(text, sizeof text, "Warning: Duplicate state <%s> removed from material %s", e.Name,
                     materialName(GM));
            Warning(text);
        }
        if (kept) continue;
        if (e.Usage == ST_ALWAYSW) {
            list.Append(newNode(NODE_RENDERSTATE, 0, e.Value, e.Default));
            snprintf(text, sizeof text, "Warning: Missing state <%s> added to material %s", e.Name, materialName(GM));
            Warning(text);
        } else {
            snprintf(text, sizeof text, "Error: Missing state <%s> in material %s", e.Name, materialName(GM));
            assertFailed("false", __FILE__, __LINE__);
            FatalError(text);
        }
    }
    const Map& ss = Maps[MAP_STAGESTATES];
    for (DWORD s = 0; s < GM->Stages[0] && s < MAXSBSTAGES; ++s)
        for (int32_t i = 0; i < ss.Mappings; ++i) {
            const MapEntry& e = ss.Mapping[i];
            if (e.Usage != ST_ALWAYS && e.Usage != ST_ALWAYSW) continue;
            int removed = 0;
            const StateNode* kept = keepLast(list, NODE_STAGESTATE, s, e.Value, &removed);
            for (int r = 0; r < removed; ++r) {
                snprintf(text, sizeof text, "Warning: Duplicate stagestate %u <%s> removed from material %s", s,
                         e.Name, materialName(GM));
                Warning(text);
            }
            if (kept) continue;
            if (e.Usage == ST_ALWAYSW) {
                list.Append(newNode(NODE_STAGESTATE, s, e.Value, e.Default));
                snprintf(text, sizeof text, "Warning: Missing stagestate %u <%s> added to material %s", s, e.Name,
                         materialName(GM));
                Warning(text);
            } else {
                snprintf(text, sizeof text, "Error: Missing stagestate %u <%s> in material %s", s, e.Name,
                         materialName(GM));
                assertFailed("false", __FILE__, __LINE__);
                FatalError(text);
            }
        }
}

void MatCore::BuildRestoreList(GMaterial* GM)
{
    if (!VERIFY(GM != NULL)) return;
    StateBlockTable& table = D3DCore.StateBlocks;
    table.BeginRecordRestore(GM);
    if (!table.RecordStarted) return;
    const Map& rs = Maps[MAP_RENDERSTATES];
    for (int32_t i = 0; i < rs.Mappings; ++i) {
        const MapEntry& e = rs.Mapping[i];
        DWORD value = 0;
        if (e.Usage == ST_RARE && lastValue(GM, NODE_RENDERSTATE, 0, e.Value, &value) && value != e.Default)
            table.RecordRenderState(e.Value, e.Default);
    }
    const Map& ss = Maps[MAP_STAGESTATES];
    for (DWORD s = 0; s < MAXSBSTAGES; ++s)
        for (int32_t i = 0; i < ss.Mappings; ++i) {
            const MapEntry& e = ss.Mapping[i];
            DWORD value = 0;
            if (e.Usage == ST_RARE && lastValue(GM, NODE_STAGESTATE, s, e.Value, &value) && value != e.Default)
                table.RecordStageState(s, e.Value, e.Default);
        }
    table.EndRecord();
}

void MatCore::SetStageStateAllStages(GMaterial* GM, DWORD state, DWORD value)
{
    if (!VERIFY(GM != NULL)) return;
    const MapEntry* e = FindStageStateMapping(state);
    if (!e) return;
    const DWORD passes = GM->Passes < MAXPASSES ? GM->Passes : MAXPASSES;
    for (DWORD p = 0; p < passes; ++p) {
        StateList& list = GM->PassStates[p];
        for (StateNode* node = list.First; node;)
            node = node->Type == NODE_STAGESTATE && node->State == state ? list.Remove(node) : node->Next;
    }
    if (e->Usage == ST_RARE && value == e->Default) return;
    for (DWORD p = 0; p < passes; ++p)
        for (DWORD s = 0; s < GM->Stages[p] && s < MAXSBSTAGES; ++s)
            GM->PassStates[p].Append(newNode(NODE_STAGESTATE, s, state, value));
}
