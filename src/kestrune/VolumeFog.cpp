#include "kestrune/VolumeFog.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/TextureFiles.h"
#include "global/ProjData.h"
#include "kestrune/TextLines.h"
#include "l3render/ModelInst.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/Forwarders.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/IniManager.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const uint32_t CLOUD_LEVEL_SIZE = 256;
const float MIN_SPACING = 4000.0f;
const DWORD PLACEMENT_GIVE_UP_MS = 10;
const float DRIFT = 0.25f * 0.5f;  // units a millisecond, towards -x and +y
const float CULL_DISTANCE_SQUARED = 441000000.0f;  // 21000 units
const float EDGE_FADE = 6000.0f;
const float FAR_FADE_START = 15000.0f;
const float PUFF_AHEAD = 4.0f * 289.5f;
const float ALPHA_SCALE = 1.424581f;  // 179 is opaque

int32_t Models = -1;
VolumeModel* Model = nullptr;
DWORD LastUpdate = 0;
bool TimeSet = false;
uint8_t CloudLevel[CLOUD_LEVEL_SIZE * CLOUD_LEVEL_SIZE];
char VolumeDataFile[CProjData::MAX_PATH_TEXT];

void renderPuff(CModelInst* pInstance, const Vector3& position)
{
    pInstance->m_transform.Translation[0] = position.x;
    pInstance->m_transform.Translation[1] = position.y;
    pInstance->m_transform.Translation[2] = position.z;
    pInstance->Render();
}
VolumePuffRenderer PuffRenderer = renderPuff;

bool parseCount(const char* text, uint32_t* pCount)
{
    char* end = nullptr;
    const long value = text ? std::strtol(text, &end, 10) : 0;
    if (!VERIFY_MSG(text && *end == 0 && value >= 1, "Bad count in volume file")) return false;
    if (!VERIFY_MSG(value <= static_cast<long>(MAX_VOLUME_COUNT), "Count too large in volume file")) return false;
    *pCount = static_cast<uint32_t>(value);
    return true;
}

bool parseVector(char* const* tokens, int n, Vector3* pOut)
{
    float v[3];
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        v[i] = i < n ? std::strtof(tokens[i], &end) : 0.0f;
        if (!VERIFY_MSG(i < n && *end == 0 && std::isfinite(v[i]), "Bad position in volume file")) return false;
    }
    pOut->set(v[0], v[1], v[2]);
    return true;
}

float wrapWorld(float v)
{
    if (v < 0.0f)
        v += VOLUME_WORLD_SIZE;
    else if (v >= VOLUME_WORLD_SIZE)
        v -= VOLUME_WORLD_SIZE;
    if (!(v >= 0.0f && v < VOLUME_WORLD_SIZE)) {
        v = std::fmod(v, VOLUME_WORLD_SIZE);
        if (v < 0.0f) v += VOLUME_WORLD_SIZE;
        if (!(v < VOLUME_WORLD_SIZE)) v = 0.0f;
    }
    return v;
}

// Apart by the minimum spacing from every earlier bank, measured across the nearer edge.
bool spacedFrom(const Vector3* positions, uint32_t count, const Vector3& c)
{
    const float half = VOLUME_WORLD_SIZE * 0.5f;
    for (uint32_t j = 0; j < count; ++j) {
        float dx = std::fabs(c.x - positions[j].x), dy = std::fabs(c.y - positions[j].y);
        if (dx > half) dx = VOLUME_WORLD_SIZE - dx;
        if (dy > half) dy = VOLUME_WORLD_SIZE - dy;
        if (dx * dx + dy * dy < MIN_SPACING * MIN_SPACING) return false;
    }
    return true;
}

float randomBetween(float low, float high)
{
    return low + static_cast<float>(crtRand()) * (high - low) / static_cast<float>(CRT_RAND_MAX);
}

// The volume-model file, one line at a time.
class VolumeReader {
public:
    void Line(char* line);
    void Finish();

private:
    enum State { GLOBAL, MODEL, DATA, INSTANCES, SKIP };

    void Global(const char* word, char** args, int n);
    void InModel(const char* word, char** args, int n);
    void Data(const char* word, char** args, int n);
    void Instances(const char* word, char** args, int n);
    void Skip(const char* word);
    void SkipBlock(State back)
    {
        state = SKIP;
        skipDepth = 0;
        skipBack = back;
    }
    static void Unknown(const char* word)
    {
        assertFailedMsg(concatStrings("Unknown word in volume file: ", word), "0", __FILE__, __LINE__);
    }
    VolumeModel& Current() { return Model[CurrentModel]; }

    State state = GLOBAL;
    State skipBack = GLOBAL;
    int skipDepth = 0;
    int32_t CurrentModel = -1;
    uint32_t CurrentVertex = 0;
    uint32_t CurrentInstance = 0;
    bool DataProcessed = false;
    bool InstanceProcessed = false;
};

void VolumeReader::Line(char* line)
{
    char* tokens[10];
    const int n = splitTokens(line, tokens, 10, " \t\r\n,");
    if (n == 0 || tokens[0][0] == ';' || std::strncmp(tokens[0], "//", 2) == 0) return;
    const char* word = tokens[0];
    switch (state) {
    case GLOBAL: Global(word, tokens + 1, n - 1); break;
    case MODEL: InModel(word, tokens + 1, n - 1); break;
    case DATA: Data(word, tokens + 1, n - 1); break;
    case INSTANCES: Instances(word, tokens + 1, n - 1); break;
    case SKIP: Skip(word); break;
    }
}

void VolumeReader::Global(const char* word, char** args, int n)
{
    if (!stricmp(word, "nummodels")) {
        uint32_t count = 0;
        if (!VERIFY(Models == -1) || !parseCount(n > 0 ? args[0] : nullptr, &count)) return;
        Model = new (std::nothrow) VolumeModel[count]();
        if (!VERIFY(Model)) return;
        for (uint32_t i = 0; i < count; ++i) Model[i].CloudPart = Model[i].Scroller = 0xFFFFFFFFu;
        Models = static_cast<int32_t>(count);
    } else if (!stricmp(word, "[model]")) {
        ++CurrentModel;
        if (!VERIFY(CurrentModel < Models)) {
            --CurrentModel;
            SkipBlock(GLOBAL);
            return;
        }
        DataProcessed = InstanceProcessed = false;
        state = MODEL;
    } else {
        Unknown(word);
    }
}

void VolumeReader::InModel(const char* word, char** args, int n)
{
    VolumeModel& m = Current();
    if (!stricmp(word, "name")) {
        if (!VERIFY_MSG(n > 0, "A volume model needs a name") || !VERIFY_MSG(!m.BaseModel, "Volume model named twice"))
            return;
        {
            // The puff's model is a file of its own: what its loader said of it is not said again.
            ReadingFile model(args[0]);
            m.BaseModel = CModelUtil::LoadModelFile(args[0]);
            if (!VERIFY(Model[CurrentModel].BaseModel)) return;
            m.BaseModelInst = CModelManager::CreateModelInst(m.BaseModel);
            ASSERT(Model[CurrentModel].BaseModelInst);
        }
        m.CloudPart = MatFindStateBlock("CloudPart");
        m.Scroller = m.CloudPart != 0xFFFFFFFFu ? MatFindStageID(m.CloudPart, "Scroller") : 0xFFFFFFFFu;
    } else if (!stricmp(word, "vertices") || !stricmp(word, "instances")) {
        const bool points = !stricmp(word, "vertices");
        Vector3*& array = points ? m.Points : m.Positions;
        uint32_t count = 0;
        if (!VERIFY_MSG(!array, "Volume model count given twice") || !parseCount(n > 0 ? args[0] : nullptr, &count))
            return;
        array = new (std::nothrow) Vector3[count];
        if (!VERIFY(array)) return;
        (points ? m.Vertices : m.Instances) = count;
    } else if (!stricmp(word, "[data]")) {
        if (!VERIFY(Model[CurrentModel].Points)) return SkipBlock(MODEL);
        CurrentVertex = 0;
        state = DATA;
    } else if (!stricmp(word, "[instances]")) {
        if (!VERIFY(Model[CurrentModel].Positions)) return SkipBlock(MODEL);
        CurrentInstance = 0;
        state = INSTANCES;
    } else if (!stricmp(word, "[end]")) {
        ASSERT(DataProcessed);
        ASSERT(InstanceProcessed);
        m.Complete = DataProcessed && InstanceProcessed && m.BaseModelInst;
        state = GLOBAL;
    } else {
        Unknown(word);
    }
}

void VolumeReader::Data(const char* word, char** args, int n)
{
    VolumeModel& m = Current();
    Vector3 v;
    if (!stricmp(word, "pos")) {
        if (parseVector(args, n, &v) && VERIFY_MSG(CurrentVertex < m.Vertices, "More pos lines than vertices"))
            m.Points[CurrentVertex++] = v;
    } else if (!stricmp(word, "[end]")) {
        // Fewer puffs than declared: the bank has those given.
        if (!VERIFY(CurrentVertex == Model[CurrentModel].Vertices)) m.Vertices = CurrentVertex;
        DataProcessed = true;
        state = MODEL;
    } else {
        Unknown(word);
    }
}

void VolumeReader::Instances(const char* word, char** args, int n)
{
    VolumeModel& m = Current();
    Vector3 v;
    if (!stricmp(word, "pos")) {
        if (parseVector(args, n, &v) && VERIFY_MSG(CurrentInstance < m.Instances, "More instances than declared"))
            m.Positions[CurrentInstance++] = v;
    } else if (!stricmp(word, "random")) {
        uint32_t count = 0;
        Vector3 low, high;
        if (!parseCount(n > 0 ? args[0] : nullptr, &count) || !parseVector(args + 1, n - 1, &low) ||
            !parseVector(args + 4, n - 4, &high))
            return;
        const uint32_t room = m.Instances - CurrentInstance;
        if (!VERIFY_MSG(count <= room, "More instances than declared")) count = room;
        for (uint32_t k = 0; k < count; ++k) {
            // Candidates until one keeps its distance, or the last one after a while.
            const DWORD start = timeGetTime();
            Vector3 c;
            do {
                c.x = randomBetween(low.x, high.x);
                c.y = randomBetween(low.y, high.y);
                c.z = randomBetween(low.z, high.z);
            } while (!spacedFrom(m.Positions, CurrentInstance, c) && timeGetTime() - start < PLACEMENT_GIVE_UP_MS);
            m.Positions[CurrentInstance++] = c;
        }
    } else if (!stricmp(word, "[end]")) {
        if (!VERIFY(CurrentInstance == Model[CurrentModel].Instances)) m.Instances = CurrentInstance;
        InstanceProcessed = true;
        state = MODEL;
    } else {
        Unknown(word);
    }
}

void VolumeReader::Skip(const char* word)
{
    if (!stricmp(word, "[model]") || !stricmp(word, "[data]") || !stricmp(word, "[instances]")) {
        ++skipDepth;
    } else if (!stricmp(word, "[end]")) {
        if (skipDepth == 0)
            state = skipBack;
        else
            --skipDepth;
    }
}

void VolumeReader::Finish() { ASSERT_MSG(state == GLOBAL, "Volume file ends inside a block"); }

}  // namespace

void SetVolumePuffRenderer(VolumePuffRenderer renderer) { PuffRenderer = renderer ? renderer : renderPuff; }

bool RegisterVolumeIniKeys(CIniManager* pIni)
{
    if (!VERIFY(pIni)) return false;
    // A level whose settings do not name a file has none, whatever the level before it had.
    VolumeDataFile[0] = 0;
    const bool registered = pIni->registerString("VOLUMEMODELS", "VolumeData", VolumeDataFile);
    ASSERT(registered);
    return registered;
}

const char* GetVolumeDataFile() { return VolumeDataFile; }

bool LoadVolumeModels(const char* fileName)
{
    ReleaseVolumeFog();
    if (!VERIFY(fileName)) return false;
    // A damaged file is one report: its first fault, naming it. The level goes on with the models
    // read whole.
    ReadingFile reading(fileName);
    CFile file;
    if (!file.Open(fileName, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        const std::string text = openFailureText(fileName, file.LastError(), concatStrings("File not found: ", fileName));
        assertFailedMsg(text.c_str(), "FileOK", __FILE__, __LINE__);
        return false;
    }
    VolumeReader reader;
    char line[VOLUME_LINE_SIZE + 1];
    while (readTextLine(file, line, sizeof line, fileName)) reader.Line(line);
    reader.Finish();
    return true;
}

bool LoadCloudLevel()
{
    char path[CProjData::MAX_PATH_TEXT + 40];
    const char* dataPath = projDataExists() ? getProjData().DataPath : "data\\";
    std::snprintf(path, sizeof path, "%smodels\\volumefog\\cloudlevel.tga", dataPath);
    ReadingFile reading(path);
    // The image reader would end the run over a missing file.
    DWORD error = ERROR_SUCCESS;
    if (!FileExists(path, 0, &error)) {
        assertFailedMsg(openFailureText(path, error, concatStrings("File not found: ", path)).c_str(), "FileOK",
                        __FILE__, __LINE__);
        return false;
    }
    TGAImage image;
    if (!LoadTGA(path, image, false)) return false;
    const uint32_t SizeX = image.SizeX, SizeY = image.SizeY;
    const bool sizeX = VERIFY(SizeX == 256);
    if (!VERIFY(SizeY == 256) || !sizeX) return false;
    const uint32_t bytes = image.BitDepth == 8 ? 1 : 4;
    for (uint32_t y = 0; y < CLOUD_LEVEL_SIZE; ++y)
        for (uint32_t x = 0; x < CLOUD_LEVEL_SIZE; ++x)
            CloudLevel[x * CLOUD_LEVEL_SIZE + (CLOUD_LEVEL_SIZE - 1 - y)] = image.Pixels[(y * SizeX + x) * bytes];
    LastUpdate = timeGetTime();
    TimeSet = true;
    return true;
}

void UpdateVolumeFog()
{
    const DWORD now = timeGetTime();
    if (!TimeSet) {
        LastUpdate = now;
        TimeSet = true;
    }
    const float dt = static_cast<float>(now - LastUpdate);
    LastUpdate = now;
    if (Models <= 0 || !Model) return;

    // The camera from the view matrix: its position, and the direction it looks along.
    const D3DMATRIX& V = D3DCore.ViewMatrix;
    Vector3 camera, view(V.m[0][2], V.m[1][2], V.m[2][2]);
    camera.x = -(V.m[3][0] * V.m[0][0] + V.m[3][1] * V.m[0][1] + V.m[3][2] * V.m[0][2]);
    camera.y = -(V.m[3][0] * V.m[1][0] + V.m[3][1] * V.m[1][1] + V.m[3][2] * V.m[1][2]);
    camera.z = -(V.m[3][0] * V.m[2][0] + V.m[3][1] * V.m[2][1] + V.m[3][2] * V.m[2][2]);

    for (int32_t i = 0; i < Models; ++i) {
        VolumeModel& m = Model[i];
        if (!m.Positions) continue;
        for (uint32_t k = 0; k < m.Instances; ++k) {
            Vector3& p = m.Positions[k];
            p.x = wrapWorld(p.x - DRIFT * dt);
            p.y = wrapWorld(p.y + DRIFT * dt);
            if (!m.Complete) continue;
            const float d2 = (p - camera).lengthSquared();
            if (!(d2 <= CULL_DISTANCE_SQUARED)) continue;
            const auto edge = [](float v) {
                return v < EDGE_FADE ? v / EDGE_FADE
                                     : (VOLUME_WORLD_SIZE - v < EDGE_FADE ? (VOLUME_WORLD_SIZE - v) / EDGE_FADE : 1.0f);
            };
            float fade = std::max(0.0f, std::min(edge(p.x), edge(p.y)));
            const float d = std::sqrt(d2);
            if (d > FAR_FADE_START) fade = std::min(fade, std::max(0.0f, 3.5f - d / EDGE_FADE));
            for (uint32_t j = 0; j < m.Vertices; ++j) {
                const Vector3 ahead = p + m.Points[j] + view * PUFF_AHEAD;
                const float distance = (ahead - camera).length();
                if (!std::isfinite(distance)) continue;
                const float t = (distance - 100.0f) * -0.25f;
                int32_t s = t < -1e6f ? 179 : -200 - static_cast<int32_t>(t);
                if (s < 0) continue;
                s = std::min(s, 179);
                const int32_t alpha = std::clamp(static_cast<int32_t>(s * fade * ALPHA_SCALE), 0, 255);
                if (m.CloudPart != 0xFFFFFFFFu) SetTextureFactor(m.CloudPart, 0, 0, 0, alpha);
                PuffRenderer(m.BaseModelInst, ahead - view * (4.0f * (200.0f + s)));
            }
        }
    }
}

void ReleaseVolumeFog()
{
    for (int32_t i = 0; Model && i < Models; ++i) {
        VolumeModel& m = Model[i];
        if (m.BaseModelInst) CModelManager::ReleaseModelInst(m.BaseModelInst);
        if (m.BaseModel) CModelManager::ReleaseModel(m.BaseModel, true);
        delete[] m.Points;
        delete[] m.Positions;
    }
    delete[] Model;
    Model = nullptr;
    Models = -1;
}

int32_t GetNumVolumeModels() { return Models; }
const VolumeModel* GetVolumeModel(int32_t index) { return Model && index >= 0 && index < Models ? &Model[index] : nullptr; }
const uint8_t* GetCloudLevel() { return CloudLevel; }
