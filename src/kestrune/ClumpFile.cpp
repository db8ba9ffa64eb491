// Reading a clump file: little-endian words; a name is a word counting its bytes and the
// terminating zero, then the bytes (0: no name). Every count is checked against the bytes left
// before anything is sized by it, and every index and length against its table.
#include "kestrune/ClumpManager.h"

#include "ai/AIMap.h"
#include "ai/LandTree.h"
#include "ai/Sun.h"
#include "ai/WorldMgr.h"
#include "audio/AudioManager.h"
#include "gamemanagement/ResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "l3render/Model.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/HWDynamicMesh.h"
#include "utility/Assert.h"
#include "weapons/WeaponDescription.h"
#include "winfile/File.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

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

}  // namespace

class CClumpManager::Reader {
public:
    Reader(CClumpManager& manager, CFile& file) : m(manager), f(file) {}

    bool Models();
    bool Sounds();
    bool Types();
    bool Type(uint32_t position);
    bool Clump(CClumpInstance& clump, uint32_t typeIndex);

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
};

// One of a model's two files, with the root of its LOD made the identity; *pOk false when the
// name is bad. The model (or none) afterwards.
CModel* CClumpManager::Reader::LoadModelFile(uint32_t lod, CModel* pModel, bool* pOk)
{
    char name[MAX_MODEL_NAME + 1];
    uint32_t length = 0;
    if (!Word(&length)) return *pOk = false, pModel;
    if (length == 0) return pModel;
    if (!VERIFY_MSG(length > 1, "nameLen > 1") || !VERIFY_MSG(length < MAX_MODEL_NAME, "nameLen < 512") ||
        !Read(name, length))
        return *pOk = false, pModel;
    name[length] = 0;
    CModel* pLoaded = CModelUtil::LoadModel(name, lod, 0.0f, pModel, lod == 1 ? uint32_t(CModelUtil::LOAD_DYNAMIC) : 0u);
    if (!pLoaded) {
        // A model that failed a load is left empty: it is no model.
        if (pModel) CModelManager::ReleaseModel(pModel, true);
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
    if (!Word(&count) || !VERIFY(count > 0) || !VERIFY_MSG(count <= Left() / 8, "numModels * 8 <= bytesLeft"))
        return false;
    m.d_ppModelList = new (std::nothrow) CModel*[count]();
    if (!VERIFY(m.d_ppModelList)) return false;
    m.d_numModels = count;
    for (uint32_t i = 0; i < count; ++i) {
        bool ok = true;
        CModel* pModel = LoadModelFile(1, nullptr, &ok);
        if (ok) pModel = LoadModelFile(0, pModel, &ok);
        m.d_ppModelList[i] = pModel;
        if (!ok || !VERIFY(m.d_ppModelList[i])) return false;
    }
    return true;
}

bool CClumpManager::Reader::Sounds()
{
    uint32_t count = 0;
    if (!Word(&count) || !VERIFY_MSG(count <= Left() / 4, "numSounds * 4 <= bytesLeft")) return false;
    m.d_pSoundResourceList = new (std::nothrow) SAudioFile*[count]();
    if (!VERIFY(m.d_pSoundResourceList)) return false;
    m.d_numSoundResources = count;
    CAudioManager* pAudio = projDataExists() ? getProjData().getAudioManager() : nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        char name[MAX_NAME + 1];
        uint32_t length = 0;
        if (!Name(name, MAX_NAME, &length)) return VERIFY_MSG(false, "soundNameLen <= 256");
        if (length == 0) {
            assertFailedMsg("Clump specified an empty sound", "nameLen > 0", __FILE__, __LINE__);
            continue;
        }
        if (!VERIFY(pAudio)) return false;
        m.d_pSoundResourceList[i] = pAudio->LoadSample3D(name, 1);
        if (!VERIFY(m.d_pSoundResourceList[i])) return false;
    }
    return true;
}

bool CClumpManager::Reader::Type(uint32_t position)
{
    CClumpType& type = m.d_pClumpTypeList[position];
    const uint32_t v = m.d_version;
    uint32_t team = 255, typeIndex = 0, numStates = 0, second = 0, objectType = 0, flags = 0, further = 2;
    if (v >= V_TEAM && !Word(&team)) return false;
    if (!Word(&typeIndex) || !VERIFY(typeIndex < m.d_numClumpTypes)) return false;
    if (!Word(&numStates) || !VERIFY(numStates > 0) || !VERIFY(numStates <= MAX_CLUMP_ELEMENT_STATES)) return false;
    if (!Word(&second) || !Word(&objectType)) return false;
    ASSERT(objectType < 256);
    if ((v >= V_FLAGS && !Word(&flags)) || (v >= V_FURTHER && !Word(&further))) return false;
    type.team = static_cast<uint8_t>(team);
    type.objectType = static_cast<uint8_t>(objectType);
    type.flags = flags;
    type.further = further;
    type.secondPair = second != 0;
    if (v >= V_FIRE_WEAPON && (flags & CClumpType::FLAG_FLAMMABLE)) {
        char name[MAX_NAME + 1];
        uint32_t length = 0;
        if (!Name(name, MAX_NAME, &length) || length == 0) {
            assertFailedMsg("Failed to read clump fire weapon name", "nameLen >= 1 && nameLen <= 256", __FILE__,
                            __LINE__);
            return false;
        }
        const size_t kept = std::min<size_t>(std::strlen(name), CClumpType::MAX_WEAPON_NAME - 1);
        std::memcpy(type.fireWeaponName, name, kept);
        type.fireWeaponName[kept] = 0;
        if (type.fireWeaponName[0]) {
            type.pFireWeapon = CreateWeapon(type.fireWeaponName, 1, 0);
            if (VERIFY_MSG(type.pFireWeapon, "pClumpType->pFireWeapon")) type.pFireWeapon->d_updateEnabled = 1;
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
        if (!Half(&modelIndex) || !VERIFY(modelIndex < m.d_numModels)) return false;
        CModel* pModel = m.GetModel(modelIndex);
        if (!VERIFY_MSG(pModel, "ppModels[i]")) return false;
        type.pStateModel[s] = pModel;
        if (v >= V_SOUNDS && !Half(&type.stateSound[s])) return false;
        char effect[MAX_NAME + 1];
        uint32_t length = 0;
        if (!Name(effect, MAX_NAME, &length)) return VERIFY_MSG(false, "effectNameLen <= 256");
        if (length != 0) {
            uint32_t id = 0;
            if (pTheObjectManager && pTheObjectManager->findTypeId(CResourceManager::MANAGER_EFFECTS, effect, &id))
                type.particleEffect[s] = id;
            else
                assertFailedMsg("Failed to get resource ID for clump particle effect", "bFound", __FILE__, __LINE__);
        }
        if (CModelElement* pRoot = pModel->GetRootLodModel(1)) {
            type.hasCombinedMesh = 1;
            if ((flags & CClumpType::FLAG_SUNLIT) && pRoot->m_pMeshObject && (pRoot->m_flags & CModelElement::DYNAMIC))
                static_cast<HWDynamicMeshObject*>(pRoot->m_pMeshObject)->BuildNormals(false);
        }
    }
    type.numStates = numStates;
    uint32_t numClumps = 0;
    if (!Word(&numClumps) || !VERIFY_MSG(numClumps <= Left() / (4 + ELEMENT_BYTES), "numClumps * 52 <= bytesLeft"))
        return false;
    type.pClumpList = new (std::nothrow) CClumpInstance[numClumps];
    if (!VERIFY_MSG(type.pClumpList, "pClumpType->pClumpList")) return false;
    type.numClumps = numClumps;
    for (uint32_t c = 0; c < numClumps; ++c) {
        if (!Clump(type.pClumpList[c], typeIndex)) {
            assertFailed("0", __FILE__, __LINE__);
            return false;
        }
        type.pClumpList[c].d_pClump->m_alphaPermitted = type.secondPair;
    }
    return true;
}

bool CClumpManager::Reader::Clump(CClumpInstance& clump, uint32_t typeIndex)
{
    uint32_t numElements = 0;
    if (!Word(&numElements) || !VERIFY_MSG(numElements > 0, "numObjects > 0") ||
        !VERIFY_MSG(numElements <= Left() / ELEMENT_BYTES, "numObjects * 48 <= bytesLeft"))
        return false;
    m.d_maxElements = std::max(m.d_maxElements, numElements);
    clump.d_pManager = &m;
    clump.d_clumpType = typeIndex;
    CClumpType* pClumpType = m.GetClumpType(typeIndex);
    if (!VERIFY(pClumpType)) return false;
    clump.d_ppModelInst = new (std::nothrow) CModelInst*[numElements]();
    if (!VERIFY_MSG(clump.d_ppModelInst, "pClump->d_ppModelInst")) return false;
    clump.d_numInstances = numElements;
    clump.d_pClump = new CModelClump;
    const uint32_t capacity = pClumpType->hasCombinedMesh ? 0xffff : 0;
    if (!clump.d_pClump->Init(numElements, capacity, capacity, pClumpType->numStates > 1)) return false;
    clump.d_pClump->m_visibilityType = 3;
    clump.d_pClump->m_fadeNear = pClumpType->fadeNear;
    clump.d_pClump->m_fadeFar = pClumpType->fadeFar;
    CWorldMgr* pWorld = projDataExists() ? getProjData().getWorldMgr() : nullptr;
    if (!VERIFY_MSG(pWorld, "pAIMap")) return false;
    const CAIMap* pAIMap = pWorld->getAIMap();
    const CLandTree* pLand = getProjData().getLandTree();
    if (!pLand) return false;
    float sun[CSun::NUM_WORDS];
    CSun::getSunProperties(sun);
    const float brightness =
        std::max((sun[CSun::WORD_COLOUR] + sun[CSun::WORD_COLOUR + 1] + sun[CSun::WORD_COLOUR + 2]) * THIRD,
                 MIN_SUN_BRIGHTNESS);

    for (uint32_t i = 0; i < numElements; ++i) {
        float record[12];
        if (!Read(record, ELEMENT_BYTES)) return false;
        uint32_t colour = 0, defaultState = 0;
        std::memcpy(&colour, &record[10], 4);
        std::memcpy(&defaultState, &record[11], 4);
        if (defaultState >= pClumpType->numStates) {
            assertFailedMsg("Clump default state out of range. If file looks OK, check for VSS misidentifying file as "
                            "text",
                            "defaultState < numStates", __FILE__, __LINE__);
            return false;
        }
        CModelInst* pInst = CModelManager::CreateModelInst(pClumpType->pStateModel[defaultState]);
        if (!VERIFY_MSG(pInst, "pModelInst")) return false;
        clump.d_ppModelInst[i] = pInst;

        const float x = record[0], y = record[1], z = record[2];
        Vector3 normal;
        const float height = pLand->getGroundHeight(Vector3(x, y, 0.0f), &normal);
        CModelTransform& t = pInst->m_transform;
        t.Translation[0] = x;
        t.Translation[1] = y;
        t.Translation[2] = height + z;
        Matrix3 rotation;
        quatToMatrix3(Quaternion(record[3], record[4], record[5], record[6]), rotation);
        if (pClumpType->flags & CClumpType::FLAG_TILT) tilt(rotation, normal);
        for (int k = 0; k < 9; ++k) {
            t.Rotation[k] = rotation.element(k);
            ASSERT_MSG(isValidFloat(t.Rotation[k]), "isValidFloat(M[i])");
        }
        std::copy(record + 7, record + 10, t.Scale);

        uint32_t id = 0;
        const bool added = pClumpType->numStates > 1
                               ? clump.d_pClump->AddElementWithStates(pInst, 1, pClumpType->numStates,
                                                                      pClumpType->pStateModel, &id)
                               : clump.d_pClump->AddElement(pInst, 1, &id);
        if (!added) return false;

        float rgb[3] = {static_cast<float>((colour >> 16) & 0xFF), static_cast<float>((colour >> 8) & 0xFF),
                        static_cast<float>(colour & 0xFF)};
        const float shadow = pAIMap->getShadowHeightAt(mapUnit(x), mapUnit(y));
        if (shadow > SHADOW_LIMIT) {
            const float k = std::max(SHADOW_LIMIT / shadow, brightness);
            for (float& c : rgb) c *= k;
        }
        CClumpElementData* pElem = clump.d_pClump->GetElement(id);
        if (!VERIFY_MSG(id < numElements, "id < numElements") || !VERIFY(pElem) ||
            !VERIFY_MSG(pElem->currentState < MAX_CLUMP_ELEMENT_STATES, "currentState < MAX_CLUMP_ELEMENT_STATES") ||
            !VERIFY_MSG(pElem->pModelList[pElem->currentState], "pModelList[currentState]"))
            return false;
        for (int c = 0; c < 3; ++c) pElem->colour[c] = colourByte(rgb[c]);
        if (!(pClumpType->flags & CClumpType::FLAG_SUNLIT))
            pElem->ScaleColour(rgb[0] * BYTE_TO_UNIT, rgb[1] * BYTE_TO_UNIT, rgb[2] * BYTE_TO_UNIT);
    }
    clump.d_pClump->Finish();
    for (uint32_t i = 0; i < numElements; ++i)
        clump.SetElementStateEx(i, 0, CClumpInstance::COPY_MASK_DEFAULT, nullptr, true);
    return true;
}

bool CClumpManager::Reader::Types()
{
    if (!Word(&m.d_numClumpTypes)) return false;
    if (m.d_numClumpTypes == 0) {
        assertFailedMsg("No clump types defined", "d_numClumpTypes > 0", __FILE__, __LINE__);
        return true;
    }
    if (!VERIFY_MSG(m.d_numClumpTypes <= Left() / MinTypeBytes(), "numClumpTypes * minTypeBytes <= bytesLeft")) {
        m.d_numClumpTypes = 0;
        return false;
    }
    m.d_pClumpTypeList = new (std::nothrow) CClumpType[m.d_numClumpTypes];
    if (!VERIFY(m.d_pClumpTypeList)) {
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
    CFile file;
    if (!file.Open(pFilename, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        assertFailedMsg("Clump file not found", "file.Open()", __FILE__, __LINE__);
        return false;
    }
    Reader in(*this, file);
    const char* failure = nullptr;
    uint32_t header = 0;
    if (!in.Word(&header) || !in.Word(&d_version)) {
        failure = "Some sort of error in the clump file";
    } else {
        if (header != CLUMP_MAGIC)
            assertFailedMsg("CGEN header not found, probably an out of date clump file", "header == 0x4e454743",
                            __FILE__, __LINE__);
        if (d_version < MIN_VERSION)
            assertFailedMsg("FATAL: Wrong version clump file, please rebuild it with the latest kavrel",
                            "d_version >= 3", __FILE__, __LINE__);
        if (!in.Models())
            failure = "Failed to load clump models";
        else if (d_version >= V_SOUNDS && !in.Sounds())
            failure = "Failed to load clump sounds";
        else if (!in.Types())
            failure = "Some sort of error in the clump file";
    }
    file.Close();
    if (!failure) return true;
    assertFailedMsg(failure, "0", __FILE__, __LINE__);
    if (failure[0] == 'S') CBufferAllocator::GetInstance()->DisableRecycling();
    return false;
}
