// Reading a clump file: little-endian words; a name is a word counting its bytes and the
// terminating zero, then the bytes (0: no name). Every count is checked against the bytes left
// before anything is sized by it, and every index and length against its table. A damaged file is
// one report, naming it: the first fault a load finds; what a model, sample or weapon it loads
// says about its own file is not said again.
#include "kestrune/ClumpManager.h"

#include "ai/AIMap.h"
#include "ai/LandTree.h"
#include "ai/Sun.h"
#include "ai/WorldMgr.h"
#include "audio/AudioManager.h"
#include "global/ProjData.h"
#include "l3render/Model.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/HWDynamicMesh.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "weapons/WeaponDescription.h"
#include "winfile/File.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace {

const uint32_t CLUMP_MAGIC = 0x4E454743;  // "CGEN"
const uint32_t MIN_VERSION = 3;
const uint32_t MAX_MODEL_NAME = 512;
const uint32_t MAX_NAME = 256;  // fire weapons, effects and sounds
const uint32_t ELEMENT_BYTES = 48;
const float SHADOW_LIMIT = 75.0f;
const float MIN_SUN_BRIGHTNESS = 0.65f;
const float THIRD = 0.33333334f;
const float BYTE_TO_UNIT = 0.003921569f;

// The version a part of the file first appears in.
enum : uint32_t {
    V_FADES = 4,
    V_FLAGS = 5,
    V_FIRE_WEAPON = 6,
    V_SOUNDS = 7,
    V_TEAM = 8,
    V_PLAY_VALUES = 9,
    V_FURTHER = 11,
};

// A map coordinate cut to a whole unit; one past any int (or none at all) is the processor's
// "integer indefinite", far off every map.
int32_t mapUnit(float v)
{
    return v > -2147483648.0f && v < 2147483648.0f ? static_cast<int32_t>(v) : INT32_MIN;
}

void resolveFades(float* pFar, float* pNear, float defaultFar, float defaultNear)
{
    if (*pNear < 0.0f || *pFar < 0.0f || *pFar < *pNear) {
        *pFar = defaultFar;
        *pNear = defaultNear;
    }
}

// The element's rotation leant from the vertical to the normal: about (0, 0, 1) x n by acos(n.z).
void tilt(Matrix3& rotation, const Vector3& n)
{
    Vector3 a(-n.y, n.x, 0.0f);
    if (std::fabs(a.x + a.y + a.z) < 0.000001f) return;
    a.normalise();
    const float angle = std::acos(std::clamp(n.z, -1.0f, 1.0f));
    const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    Matrix3 r;
    r.setRow1(0, Vector3(t * a.x * a.x + c, t * a.x * a.y + s * a.z, t * a.x * a.z - s * a.y));
    r.setRow1(1, Vector3(t * a.x * a.y - s * a.z, t * a.y * a.y + c, t * a.y * a.z + s * a.x));
    r.setRow1(2, Vector3(t * a.x * a.z + s * a.y, t * a.y * a.z - s * a.x, t * a.z * a.z + c));
    Matrix3 out;
    Matrix3::multiply(out, rotation, r);
    rotation = out;
}

uint8_t colourByte(float value) { return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 255.0f))); }

bool allValid(const float* values, int count)
{
    for (int i = 0; i < count; ++i)
        if (!isValidFloat(values[i])) return false;
    return true;
}

// Where a load ended: only a failed clump type also ends the buffer allocator's recycling.
enum class LoadFailure { none, header, models, sounds, types };

const char* failureMessage(LoadFailure failure)
{
    switch (failure) {
    case LoadFailure::models: return "Failed to load clump models";
    case LoadFailure::sounds: return "Failed to load clump sounds";
    default: return "Some sort of error in the clump file";
    }
}

// An element as the file places it; its instance is made only once the whole clump has been read.
struct PlacedElement {
    CModelTransform transform;
    float x, y;
    uint32_t colour, defaultState;
};

}  // namespace

// A fault of the file: its first is reported, naming the file; false, for returning at once.
#define FAULT(message, expression) Fault((message), (expression), __LINE__)
// A check that reports a fault of the file when it fails; its value is the condition.
#define CHECK(cond, message) ((cond) || Fault((message), #cond, __LINE__))

class CClumpManager::Reader {
public:
    Reader(CClumpManager& manager, CFile& file, const char* name) : m(manager), f(file), m_name(name) {}

    bool Fault(const char* message, const char* expression, int line)
    {
        if (!m_reported) {
            m_reported = true;
            assertFailedMsg(concatStrings("Clump file ", m_name, ": ", message), expression, __FILE__, line);
        }
        return false;
    }
    // Whether a model, sample or weapon file that did not load has been reported: during the call
    // that loaded it, or by its first user in the run.
    static bool Explained(int checksBefore, const char* file)
    {
        return checksFailed() != checksBefore || fileFailedThisRun(file);
    }

    bool Models();
    bool Sounds();
    bool Types();
    bool Type(uint32_t position);
    enum class ClumpRead { built, refused, failed };
    ClumpRead Clump(CClumpInstance& clump, uint32_t typeIndex);

    uint32_t Left() const { return f.GetSize() - f.GetPosition(); }
    bool Read(void* p, uint32_t bytes)
    {
        uint32_t done = 0;
        return bytes <= Left() && (bytes == 0 || (f.Read(p, bytes, &done) && done == bytes));
    }
    bool Word(uint32_t* v) { return Read(v, 4); }
    bool Half(uint16_t* v) { return Read(v, 2); }
    bool Real(float* v) { return Read(v, 4); }
    // A name of at most maxLength bytes into text (room for maxLength + 1); false when longer or
    // cut short. *pLength 0: no name.
    bool Name(char* text, uint32_t maxLength, uint32_t* pLength)
    {
        text[0] = 0;
        if (!Word(pLength) || *pLength > maxLength || !Read(text, *pLength)) return false;
        text[*pLength] = 0;
        return true;
    }
    // The least bytes a clump type record takes in this file.
    uint32_t MinTypeBytes() const
    {
        const uint32_t v = m.d_version;
        return (v >= V_TEAM ? 4 : 0) + 16 + (v >= V_FLAGS ? 4 : 0) + (v >= V_FURTHER ? 4 : 0) + (v >= V_FADES ? 12 : 0) +
               (v >= V_SOUNDS ? 2 : 0) + (v >= V_PLAY_VALUES ? 8 : 0) + 2 + (v >= V_SOUNDS ? 2 : 0) + 4 + 4;
    }

private:
    CModel* LoadModelFile(uint32_t lod, CModel* pModel, bool* pOk);

    CClumpManager& m;
    CFile& f;
    const char* m_name;
    bool m_reported = false;
    bool m_modelExplained = false;  // the model file that last failed to load was reported
};

// One of a model's two files, with the root of its LOD made the identity; *pOk false when the
// name is bad. The model (or none) afterwards.
CModel* CClumpManager::Reader::LoadModelFile(uint32_t lod, CModel* pModel, bool* pOk)
{
    char name[MAX_MODEL_NAME + 1];
    uint32_t length = 0;
    if (!Word(&length)) return *pOk = false, pModel;
    if (length == 0) return pModel;
    if (!CHECK(length > 1, "nameLen > 1") || !CHECK(length < MAX_MODEL_NAME, "nameLen < 512") || !Read(name, length))
        return *pOk = false, pModel;
    name[length] = 0;
    const int checksBefore = checksFailed();
    CModel* pLoaded = CModelUtil::LoadModel(name, lod, 0.0f, pModel, lod == 1 ? uint32_t(CModelUtil::LOAD_DYNAMIC) : 0u);
    if (!pLoaded) {
        // A model that failed a load is left empty: it is no model. The model loader has named
        // the file the entry names.
        if (pModel) CModelManager::ReleaseModel(pModel, true);
        m_modelExplained = Explained(checksBefore, name);
        return nullptr;
    }
    if (CModelElement* pRoot = pLoaded->GetRootLodModel(lod)) pRoot->m_local = IdentityTransform();
    pLoaded->ComputeBounds();
    pLoaded->m_visibilityType = 3;
    return pLoaded;
}

bool CClumpManager::Reader::Models()
{
    uint32_t count = 0;
    if (!Word(&count) || !CHECK(count > 0, "numModels > 0") || !CHECK(count <= Left() / 8, "numModels * 8 <= bytesLeft"))
        return false;
    m.d_ppModelList = new (std::nothrow) CModel*[count]();
    if (!CHECK(m.d_ppModelList, "d_ppModelList")) return false;
    m.d_numModels = count;
    for (uint32_t i = 0; i < count; ++i) {
        bool ok = true;
        CModel* pModel = LoadModelFile(1, nullptr, &ok);
        if (ok) pModel = LoadModelFile(0, pModel, &ok);
        m.d_ppModelList[i] = pModel;
        if (!ok) return false;
        if (!pModel) {
            // The model loader has named the file the entry names: the load ends without more.
            if (m_modelExplained) m_reported = true;
            return FAULT("d_ppModelList[i]", "d_ppModelList[i]");
        }
    }
    return true;
}

bool CClumpManager::Reader::Sounds()
{
    uint32_t count = 0;
    if (!Word(&count) || !CHECK(count <= Left() / 4, "numSounds * 4 <= bytesLeft")) return false;
    m.d_pSoundResourceList = new (std::nothrow) SAudioFile*[count]();
    if (!CHECK(m.d_pSoundResourceList, "d_pSoundResourceList")) return false;
    m.d_numSoundResources = count;
    CAudioManager* pAudio = projDataExists() ? getProjData().getAudioManager() : nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        char name[MAX_NAME + 1];
        uint32_t length = 0;
        if (!Name(name, MAX_NAME, &length)) return FAULT("soundNameLen <= 256", "soundNameLen <= 256");
        if (length == 0) {
            FAULT("Clump specified an empty sound", "nameLen > 0");
            continue;
        }
        if (!CHECK(pAudio, "pAudio")) return false;
        // A sample that does not load leaves its slot silent, as an empty name does; the audio
        // manager has named its file.
        const int checksBefore = checksFailed();
        m.d_pSoundResourceList[i] = pAudio->LoadSample3D(name, 1);
        if (!m.d_pSoundResourceList[i] && !Explained(checksBefore, name))
            FAULT("a sound that does not load", "d_pSoundResourceList[i]");
    }
    return true;
}

bool CClumpManager::Reader::Type(uint32_t position)
{
    CClumpType& type = m.d_pClumpTypeList[position];
    const uint32_t v = m.d_version;
    uint32_t team = 255, typeIndex = 0, numStates = 0, second = 0, objectType = 0, flags = 0, further = 2;
    if (v >= V_TEAM && !Word(&team)) return false;
    if (!Word(&typeIndex) || !CHECK(typeIndex < m.d_numClumpTypes, "typeIndex < d_numClumpTypes")) return false;
    if (!Word(&numStates) || !CHECK(numStates > 0, "numStates > 0") ||
        !CHECK(numStates <= MAX_CLUMP_ELEMENT_STATES, "numStates <= MAX_CLUMP_ELEMENT_STATES"))
        return false;
    if (!Word(&second) || !Word(&objectType)) return false;
    CHECK(objectType < 256, "objectType < 256");
    if ((v >= V_FLAGS && !Word(&flags)) || (v >= V_FURTHER && !Word(&further))) return false;
    type.team = static_cast<uint8_t>(team);
    type.objectType = static_cast<uint8_t>(objectType);
    type.flags = flags;
    type.further = further;
    type.secondPair = second != 0;
    if (v >= V_FIRE_WEAPON && (flags & CClumpType::FLAG_FLAMMABLE)) {
        char name[MAX_NAME + 1];
        uint32_t length = 0;
        if (!Name(name, MAX_NAME, &length) || length == 0)
            return FAULT("Failed to read clump fire weapon name", "nameLen >= 1 && nameLen <= 256");
        const size_t kept = std::min<size_t>(std::strlen(name), CClumpType::MAX_WEAPON_NAME - 1);
        std::memcpy(type.fireWeaponName, name, kept);
        type.fireWeaponName[kept] = 0;
        if (type.fireWeaponName[0]) {
            // A weapon that cannot be made has named its file; the type goes on without it.
            const int checksBefore = checksFailed();
            type.pFireWeapon = CreateWeapon(type.fireWeaponName, 1, 0);
            if (type.pFireWeapon)
                type.pFireWeapon->d_updateEnabled = 1;
            else if (!Explained(checksBefore, type.fireWeaponName))
                FAULT("pClumpType->pFireWeapon", "pClumpType->pFireWeapon");
        }
    }
    if (v >= V_FADES) {
        if (!Real(&type.fadeNear) || !Real(&type.fadeFar)) return false;
        if (second && (!Real(&type.secondFadeNear) || !Real(&type.secondFadeFar))) return false;
        if (!Real(&type.health)) return false;
    }
    resolveFades(&type.fadeFar, &type.fadeNear, m.d_defaultFadeFar, m.d_defaultFadeNear);
    resolveFades(&type.secondFadeFar, &type.secondFadeNear, m.d_defaultSecondFadeFar, m.d_defaultSecondFadeNear);
    if (v >= V_SOUNDS && !Half(&type.fallSound)) return false;
    if (v >= V_PLAY_VALUES && (!Real(&type.soundMinDistance) || !Real(&type.soundVolume))) return false;
    for (uint32_t s = 0; s < numStates; ++s) {
        uint16_t modelIndex = 0;
        if (!Half(&modelIndex) || !CHECK(modelIndex < m.d_numModels, "modelIndex < d_numModels")) return false;
        CModel* pModel = m.d_ppModelList[modelIndex];
        if (!CHECK(pModel, "ppModels[i]")) return false;
        type.pStateModel[s] = pModel;
        if (v >= V_SOUNDS && !Half(&type.stateSound[s])) return false;
        char effect[MAX_NAME + 1];
        uint32_t length = 0;
        if (!Name(effect, MAX_NAME, &length)) return FAULT("effectNameLen <= 256", "effectNameLen <= 256");
        if (length != 0) {
            uint32_t id = 0;
            if (m.d_pEffectObjects && m.d_pEffectObjects->findType(effect, &id))
                type.particleEffect[s] = id;
            else
                FAULT("Failed to get resource ID for clump particle effect", "bFound");
        }
        if (CModelElement* pRoot = pModel->GetRootLodModel(1)) {
            type.hasCombinedMesh = 1;
            if ((flags & CClumpType::FLAG_SUNLIT) && pRoot->m_pMeshObject && (pRoot->m_flags & CModelElement::DYNAMIC))
                static_cast<HWDynamicMeshObject*>(pRoot->m_pMeshObject)->BuildNormals(false);
        }
    }
    type.numStates = numStates;
    uint32_t numClumps = 0;
    if (!Word(&numClumps) || !CHECK(numClumps <= Left() / (4 + ELEMENT_BYTES), "numClumps * 52 <= bytesLeft"))
        return false;
    type.pClumpList = new (std::nothrow) CClumpInstance[numClumps];
    if (!CHECK(type.pClumpList, "pClumpType->pClumpList")) return false;
    // A refused clump takes no slot: the type's clumps are those built.
    for (uint32_t c = 0; c < numClumps; ++c) {
        CClumpInstance& clump = type.pClumpList[type.numClumps];
        const ClumpRead read = Clump(clump, typeIndex);
        if (read == ClumpRead::failed) return FAULT("a clump that cannot be built", "0");
        if (read == ClumpRead::refused) continue;
        clump.d_pClump->m_alphaPermitted = type.secondPair;
        ++type.numClumps;
    }
    return true;
}

CClumpManager::Reader::ClumpRead CClumpManager::Reader::Clump(CClumpInstance& clump, uint32_t typeIndex)
{
    uint32_t numElements = 0;
    if (!Word(&numElements) || !CHECK(numElements > 0, "numObjects > 0") ||
        !CHECK(numElements <= Left() / ELEMENT_BYTES, "numObjects * 48 <= bytesLeft"))
        return ClumpRead::failed;
    CClumpType* pClumpType = m.d_pClumpTypeList + typeIndex;
    CWorldMgr* pWorld = projDataExists() ? getProjData().getWorldMgr() : nullptr;
    if (!CHECK(pWorld, "pAIMap")) return ClumpRead::failed;
    const CAIMap* pAIMap = pWorld->getAIMap();
    const CLandTree* pLand = getProjData().getLandTree();
    if (!CHECK(pLand, "pLandTree")) return ClumpRead::failed;

    // Every element is placed first: one that has no place, or no rotation or scale that is a
    // number, is left out, and a clump left without elements is refused whole.
    std::vector<PlacedElement> placed;
    placed.reserve(numElements);
    for (uint32_t i = 0; i < numElements; ++i) {
        float record[12];
        if (!Read(record, ELEMENT_BYTES)) return ClumpRead::failed;
        PlacedElement e;
        e.x = record[0];
        e.y = record[1];
        std::memcpy(&e.colour, &record[10], 4);
        std::memcpy(&e.defaultState, &record[11], 4);
        if (!CHECK(e.defaultState < pClumpType->numStates,
                   "Clump default state out of range. If file looks OK, check for VSS misidentifying file as text"))
            return ClumpRead::failed;
        if (!allValid(record, 10)) {
            FAULT("an element placed, turned or scaled by no number is left out", "isValidFloat(M[i])");
            continue;
        }
        Vector3 normal;
        const float height = pLand->getGroundHeight(Vector3(e.x, e.y, 0.0f), &normal);
        CModelTransform& t = e.transform;
        t.Translation[0] = e.x;
        t.Translation[1] = e.y;
        t.Translation[2] = height + record[2];
        Matrix3 rotation;
        quatToMatrix3(Quaternion(record[3], record[4], record[5], record[6]), rotation);
        if (pClumpType->flags & CClumpType::FLAG_TILT) tilt(rotation, normal);
        for (int k = 0; k < 9; ++k) t.Rotation[k] = rotation.element(k);
        std::copy(record + 7, record + 10, t.Scale);
        if (!allValid(t.Rotation, 9) || !allValid(t.Translation, 3)) {
            FAULT("an element placed, turned or scaled by no number is left out", "isValidFloat(M[i])");
            continue;
        }
        placed.push_back(e);
    }
    if (placed.empty()) return ClumpRead::refused;

    const uint32_t count = static_cast<uint32_t>(placed.size());
    m.d_maxElements = std::max(m.d_maxElements, count);
    clump.d_pManager = &m;
    clump.d_clumpType = typeIndex;
    clump.d_ppModelInst = new (std::nothrow) CModelInst*[count]();
    if (!CHECK(clump.d_ppModelInst, "pClump->d_ppModelInst")) return ClumpRead::failed;
    clump.d_numInstances = count;
    clump.d_pClump = new CModelClump;
    const uint32_t capacity = pClumpType->hasCombinedMesh ? 0xffff : 0;
    if (!clump.d_pClump->Init(count, capacity, capacity, pClumpType->numStates > 1)) return ClumpRead::failed;
    clump.d_pClump->m_visibilityType = 3;
    clump.d_pClump->m_fadeNear = pClumpType->fadeNear;
    clump.d_pClump->m_fadeFar = pClumpType->fadeFar;
    float sun[CSun::NUM_WORDS];
    CSun::getSunProperties(sun);
    const float brightness =
        std::max((sun[CSun::WORD_COLOUR] + sun[CSun::WORD_COLOUR + 1] + sun[CSun::WORD_COLOUR + 2]) * THIRD,
                 MIN_SUN_BRIGHTNESS);

    for (uint32_t i = 0; i < count; ++i) {
        const PlacedElement& e = placed[i];
        CModelInst* pInst = CModelManager::CreateModelInst(pClumpType->pStateModel[e.defaultState]);
        if (!CHECK(pInst, "pModelInst")) return ClumpRead::failed;
        clump.d_ppModelInst[i] = pInst;
        pInst->m_transform = e.transform;

        uint32_t id = 0;
        const bool added = pClumpType->numStates > 1
                               ? clump.d_pClump->AddElementWithStates(pInst, 1, pClumpType->numStates,
                                                                      pClumpType->pStateModel, &id)
                               : clump.d_pClump->AddElement(pInst, 1, &id);
        if (!added) return ClumpRead::failed;

        float rgb[3] = {static_cast<float>((e.colour >> 16) & 0xFF), static_cast<float>((e.colour >> 8) & 0xFF),
                        static_cast<float>(e.colour & 0xFF)};
        const float shadow = pAIMap->getShadowHeightAt(mapUnit(e.x), mapUnit(e.y));
        if (shadow > SHADOW_LIMIT) {
            const float k = std::max(SHADOW_LIMIT / shadow, brightness);
            for (float& c : rgb) c *= k;
        }
        CClumpElementData* pElem = clump.d_pClump->GetElement(id);
        if (!CHECK(id < count, "id < numElements") || !CHECK(pElem, "pElem") ||
            !CHECK(pElem->currentState < MAX_CLUMP_ELEMENT_STATES, "currentState < MAX_CLUMP_ELEMENT_STATES") ||
            !CHECK(pElem->pModelList[pElem->currentState], "pModelList[currentState]"))
            return ClumpRead::failed;
        for (int c = 0; c < 3; ++c) pElem->colour[c] = colourByte(rgb[c]);
        if (!(pClumpType->flags & CClumpType::FLAG_SUNLIT))
            pElem->ScaleColour(rgb[0] * BYTE_TO_UNIT, rgb[1] * BYTE_TO_UNIT, rgb[2] * BYTE_TO_UNIT);
    }
    clump.d_pClump->Finish();
    for (uint32_t i = 0; i < count; ++i)
        clump.SetElementStateEx(i, 0, CClumpInstance::COPY_MASK_DEFAULT, nullptr, true);
    return ClumpRead::built;
}

bool CClumpManager::Reader::Types()
{
    if (!Word(&m.d_numClumpTypes)) return false;
    if (m.d_numClumpTypes == 0) {
        FAULT("No clump types defined", "d_numClumpTypes > 0");
        return true;
    }
    if (!CHECK(m.d_numClumpTypes <= Left() / MinTypeBytes(), "numClumpTypes * minTypeBytes <= bytesLeft")) {
        m.d_numClumpTypes = 0;
        return false;
    }
    m.d_pClumpTypeList = new (std::nothrow) CClumpType[m.d_numClumpTypes];
    if (!CHECK(m.d_pClumpTypeList, "d_pClumpTypeList")) {
        m.d_numClumpTypes = 0;
        return false;
    }
    for (uint32_t i = 0; i < m.d_numClumpTypes; ++i)
        if (!Type(i)) return false;
    return true;
}

bool CClumpManager::LoadClumpFile(const char* pFilename)
{
    if (!VERIFY(pFilename) || !VERIFY(d_pClumpTypeList == NULL)) return false;
    // A failed load keeps its models and sounds until Unload: another load would lose them.
    if (!VERIFY(d_ppModelList == NULL && d_pSoundResourceList == NULL)) return false;
    // A read of its own, whichever file names it; the models, sounds and weapons it loads are
    // reads of theirs.
    ReadingFile reading(pFilename);
    CFile file;
    Reader in(*this, file, pFilename);
    if (!file.Open(pFilename, FILE_MODE_READ | FILE_MODE_BUFFERED))
        return in.FAULT(openFailureText(pFilename, file.LastError(), "Clump file not found").c_str(), "file.Open()");
    LoadFailure failure = LoadFailure::none;
    uint32_t header = 0;
    if (!in.Word(&header) || !in.Word(&d_version)) {
        failure = LoadFailure::header;
    } else {
        if (header != CLUMP_MAGIC)
            in.FAULT("CGEN header not found, probably an out of date clump file", "header == 0x4e454743");
        if (d_version < MIN_VERSION)
            in.FAULT("FATAL: Wrong version clump file, please rebuild it with the latest kavrel", "d_version >= 3");
        if (!in.Models())
            failure = LoadFailure::models;
        else if (d_version >= V_SOUNDS && !in.Sounds())
            failure = LoadFailure::sounds;
        else if (!in.Types())
            failure = LoadFailure::types;
    }
    file.Close();
    if (failure == LoadFailure::none) return true;
    in.FAULT(failureMessage(failure), "0");
    if (failure == LoadFailure::types) CBufferAllocator::GetInstance()->DisableRecycling();
    return false;
}
