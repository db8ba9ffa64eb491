#include "l3render/ModelUtil.h"

#include "d3dcore9/LoadingScreen.h"
#include "l3render/L3Render.h"
#include "l3render/Model.h"
#include "l3render/ModelChunks.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "matcore9/Forwarders.h"
#include "matcore9/HWDynamicMesh.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

const char* const IMPORT_ERROR = "Model import error";
const uint32_t TYPE_MESH = 1;
const uint32_t TYPE_DUMMY = 8;
const uint32_t FIRST_CLASS_VERSION = 101;
const uint32_t FIRST_BOUNDS_VERSION = 102;
const uint32_t FIRST_COUNTED_ZERO_VERSION = 104;  // class name counts include the terminating zero
const uint32_t FIRST_LOD_VERSION = 106;            // chunks and a LOD list
// The least an element record can take: name count, type, transform, child count.
const uint32_t MIN_ELEMENT_BYTES = 4 + 4 + 15 * 4 + 4;
const uint32_t CHUNK_HEADER_BYTES = 8;

// The variant of the name for the render quality: 0 the low file, else the medium one, else the
// name itself; 1 the medium file, else the name; 2 (or any other level) the name.
void chooseFile(const char* name, int32_t quality, char (&chosen)[MAX_PATH])
{
    std::snprintf(chosen, sizeof chosen, "%s", name);
    if (quality != 0 && quality != 1) return;
    char base[MAX_PATH];
    std::snprintf(base, sizeof base, "%s", name);
    char* dot = std::strrchr(base, '.');
    if (dot && !std::strpbrk(dot, "\\/")) *dot = 0;
    const char* const low[] = {"_low.rsm", "_med.rsm"};
    const char* const* suffixes = quality == 0 ? low : low + 1;
    for (int i = 0; i < (quality == 0 ? 2 : 1); ++i) {
        char variant[MAX_PATH];
        if (std::snprintf(variant, sizeof variant, "%s%s", base, suffixes[i]) >= static_cast<int>(sizeof variant)) return;
        if (FileReadable(variant)) {
            std::memcpy(chosen, variant, sizeof variant);
            return;
        }
    }
}

float length(const float* v)
{
    const float sq = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    return sq <= 1e-6f ? 0.0f : std::sqrt(sq);
}

// A row vector times a row-major 3 x 3 matrix.
Vector3 rotate(const Vector3& v, const float* r)
{
    return Vector3(v.x * r[0] + v.y * r[3] + v.z * r[6], v.x * r[1] + v.y * r[4] + v.z * r[7],
                   v.x * r[2] + v.y * r[5] + v.z * r[8]);
}

// The farthest an element's sphere reaches from the root, along the path of translations.
float reach(const CModelElement* element, float path)
{
    const float centre[3] = {element->m_boundsCentre.x, element->m_boundsCentre.y, element->m_boundsCentre.z};
    float best = path + length(centre) + element->m_boundsRadius;
    for (const CModelElement* child = element->m_pFirstChild; child; child = child->m_pNextSibling)
        best = std::max(best, reach(child, path + length(child->m_local.Translation)));
    return best;
}

// The model's sphere from the first LOD that has a root: a lone root's own sphere placed by its
// transform, else a sphere round the root's position that holds every element's sphere.
void computeBounds(CModel* model)
{
    const CModelElement* root = nullptr;
    for (const CModelElement* r : model->pRootLodModel)
        if ((root = r)) break;
    if (!root) return;
    const CModelTransform& t = root->m_local;
    float radius;
    if (!root->m_pFirstChild && !root->m_pNextSibling) {
        radius = std::max({t.Scale[0], t.Scale[1], t.Scale[2]}) * root->m_boundsRadius;
        const Vector3 scaled(root->m_boundsCentre.x * t.Scale[0], root->m_boundsCentre.y * t.Scale[1],
                             root->m_boundsCentre.z * t.Scale[2]);
        model->m_centre = rotate(scaled, t.Rotation) + Vector3(t.Translation[0], t.Translation[1], t.Translation[2]);
    } else {
        model->m_centre = Vector3(t.Translation[0], t.Translation[1], t.Translation[2]);
        radius = reach(root, 0.0f);
        // Siblings of a root (trees built in code) hang from the root's position like children.
        for (const CModelElement* e = root->m_pNextSibling; e; e = e->m_pNextSibling)
            radius = std::max(radius, reach(e, length(e->m_local.Translation)));
    }
    ASSERT(radius >= 0.0f);
    model->m_radius = radius;
}

// Reads the parts of a model file with every count and length checked against the bytes left; the
// first fault is reported with the file's name and every later read fails.
class ModelReader {
public:
    ModelReader(CFile& file, const char* name) : m_file(file), m_name(name) {}

    bool Fail(const char* what, const char* expression)
    {
        if (!m_failed) {
            char text[MAX_PATH + 96];
            std::snprintf(text, sizeof text, "RSM <%s> %s", m_name, what);
            assertFailedMsg(text, expression, __FILE__, __LINE__);
        }
        m_failed = true;
        return false;
    }
    // A fault the callee has already reported.
    bool FailQuietly()
    {
        m_failed = true;
        return false;
    }
    uint32_t Left() const { return m_file.GetSize() - m_file.GetPosition(); }

    bool Read(void* data, uint32_t bytes)
    {
        if (m_failed) return false;
        if (bytes == 0) return true;
        uint32_t done = 0;
        if (bytes > Left() || !m_file.Read(data, bytes, &done) || done != bytes)
            return Fail("ends early", "BytesRead == BytesToRead");
        return true;
    }
    bool ReadWord(uint32_t* value) { return Read(value, 4); }
    bool Skip(uint32_t bytes)
    {
        if (m_failed) return false;
        if (bytes == 0) return true;
        if (bytes > Left() || !m_file.Seek(1, static_cast<int32_t>(bytes))) return Fail("ends early", "BytesRead == BytesToRead");
        return true;
    }
    // count bytes of a string: the first MAX_NAME - 1 kept with a terminating zero, the rest skipped.
    bool ReadText(uint64_t count, char (&text)[CModelUtil::MAX_NAME])
    {
        text[0] = 0;
        if (count > Left()) return Fail("ends early", "BytesRead == BytesToRead");
        const uint32_t keep = static_cast<uint32_t>(std::min<uint64_t>(count, CModelUtil::MAX_NAME - 1));
        if (!Read(text, keep)) return false;
        text[keep] = 0;
        return Skip(static_cast<uint32_t>(count - keep));
    }
    // A string: its byte count, then the bytes.
    bool ReadName(char (&text)[CModelUtil::MAX_NAME])
    {
        uint32_t count = 0;
        return ReadWord(&count) && ReadText(count, text);
    }
    // The class name: from 104 the count includes the terminating zero, before it one byte more
    // than the count is stored. A count of 0 names the default class.
    bool ReadClassName(uint32_t version, char (&text)[CModelUtil::MAX_NAME], bool* isDefault)
    {
        uint32_t count = 0;
        if (!ReadWord(&count)) return false;
        *isDefault = count == 0;
        return ReadText(version < FIRST_COUNTED_ZERO_VERSION ? uint64_t(count) + 1 : count, text);
    }
    // A chunk block into a new set; false after a report. Without ppSet the chunks are only skipped.
    bool ReadChunks(CModelExtensionChunkSet** ppSet)
    {
        uint32_t count = 0;
        if (!ReadWord(&count)) return false;
        if (uint64_t(count) * CHUNK_HEADER_BYTES > Left())
            return Fail("has more chunks than bytes", "numChunks * 8 <= BytesLeft");
        CModelExtensionChunkSet* set = ppSet ? new CModelExtensionChunkSet() : nullptr;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t type = 0, size = 0;
            if (!ReadWord(&type) || !ReadWord(&size)) break;
            if (size > Left()) {
                Fail("has a chunk larger than the file", "chunkSize <= BytesLeft");
                break;
            }
            if (!set) {
                if (!Skip(size)) break;
                continue;
            }
            uint8_t* data = set->AddChunk(type, size);
            if (!data) {
                Fail("has a chunk that cannot be allocated", "pChunkData != NULL");
                break;
            }
            if (!Read(data, size)) break;
        }
        if (m_failed) {
            if (set) set->Release();
            return false;
        }
        if (ppSet) *ppSet = set;
        return true;
    }

private:
    CFile& m_file;
    const char* m_name;
    bool m_failed = false;
};

bool readTransform(ModelReader& in, CModelTransform& t)
{
    return in.Read(t.Translation, 12) && in.Read(t.Rotation, 36) && in.Read(t.Scale, 12);
}

// One load: the file, its version and class, the caller's flags and the indicators of its meshes.
struct ModelLoad {
    CFile& file;
    ModelReader& in;
    const char* name;
    uint32_t version;
    uint32_t flags;
    const CModelClass* pClass;
    bool anyLit = false;
    bool anyVSLit = false;
    bool everyTransparent = true;
    uint32_t meshElements = 0;
};

HWBaseObject* newMeshObject(uint32_t flags)
{
    if (flags & CModelUtil::LOAD_TOOL) return new HWToolObject();
    if (flags & CModelUtil::LOAD_DYNAMIC) return new HWDynamicMeshObject(65535, 65535);
    return new HWMeshObject();
}

// The mesh of a type-1 record: its bounds (from 102; older files get radius 100) and the mesh
// section, read by the mesh object the load flags choose.
bool readMesh(ModelLoad& ld, CModelElement* element)
{
    ModelReader& in = ld.in;
    if (ld.version >= FIRST_BOUNDS_VERSION) {
        float bounds[4];
        if (!in.Read(bounds, sizeof bounds)) return false;
        element->m_boundsCentre = Vector3(bounds[0], bounds[1], bounds[2]);
        element->m_boundsRadius = bounds[3];
    } else {
        element->m_boundsCentre = Vector3();
        element->m_boundsRadius = 100.0f;
    }
    HWBaseObject* mesh = newMeshObject(ld.flags);
    element->m_pMeshObject = mesh;  // released with the element
    // A damaged file is one report: the mesh loader names the file when it finds the fault.
    const int checksBefore = checksFailed();
    if (!mesh->Load(ld.file, ld.version, ld.name)) {
        if (checksFailed() != checksBefore) return in.FailQuietly();
        return in.Fail("has a mesh that does not load", "pMesh->Load()");
    }
    const bool dynamic = !(ld.flags & CModelUtil::LOAD_TOOL) && (ld.flags & CModelUtil::LOAD_DYNAMIC);
    if (dynamic) element->m_flags |= CModelElement::DYNAMIC;
    if (mesh->Properties.Lit) element->m_flags |= CModelElement::FLAG_LIT;
    if (mesh->Properties.VSLit) element->m_flags |= CModelElement::VSLIT;
    if (mesh->Properties.TransparencyAvailable) element->m_flags |= CModelElement::FLAG_TRANSPARENT;
    ld.anyLit |= mesh->Properties.Lit != 0;
    ld.anyVSLit |= mesh->Properties.VSLit != 0;
    ld.everyTransparent &= mesh->Properties.TransparencyAvailable != 0;
    ++ld.meshElements;
    if (dynamic && !(ld.flags & CModelUtil::LOAD_KEEP_OPEN) && !static_cast<HWDynamicMeshObject*>(mesh)->Commit())
        return in.Fail("has a dynamic mesh that cannot be committed", "pDMO->Commit()");
    return true;
}

// One element record and its children; null after a report, with whatever it made released.
CModelElement* readElement(ModelLoad& ld, uint32_t depth)
{
    ModelReader& in = ld.in;
    if (depth > CModelUtil::MAX_TREE_DEPTH) {
        in.Fail("nests its elements too deeply", "depth <= MAX_TREE_DEPTH");
        return nullptr;
    }
    char name[CModelUtil::MAX_NAME];
    uint32_t type = 0;
    if (!in.ReadName(name) || !in.ReadWord(&type)) return nullptr;
    if (type != TYPE_MESH && type != TYPE_DUMMY) {
        in.Fail("has an element of unknown type", "type == 1 || type == 8");
        return nullptr;
    }
    CModelElement* element = CModelManager::CreateElement();
    if (!element) {
        in.Fail("has an element that cannot be allocated", "pElement != NULL");
        return nullptr;
    }
    uint32_t node = CModelElement::NO_ANIM_NODE;
    if (ld.pClass && ld.pClass->FindElement(name, &node)) element->m_animNodeIndex = node;
    bool ok = readTransform(in, element->m_local);
    if (ok && type == TYPE_MESH) {
        ok = readMesh(ld, element);
    } else if (ok) {
        element->m_boundsCentre = Vector3();
        element->m_boundsRadius = 0.0f;
    }
    if (ld.flags & CModelUtil::LOAD_TOOL) element->m_flags |= CModelElement::FLAG_TOOLMESH;
    uint32_t chunkFlag = 0, children = 0;
    if (ok && ld.version >= FIRST_LOD_VERSION) ok = in.ReadWord(&chunkFlag) && (!chunkFlag || in.ReadChunks(&element->m_pChunks));
    ok = ok && in.ReadWord(&children);
    if (ok && uint64_t(children) * MIN_ELEMENT_BYTES > in.Left())
        ok = in.Fail("has more children than bytes", "numChildren * MIN_ELEMENT_BYTES <= BytesLeft");
    for (uint32_t i = 0; ok && i < children; ++i) {
        CModelElement* child = readElement(ld, depth + 1);
        if (child)
            element->AddChild(child);
        else
            ok = false;
    }
    if (ok) return element;
    CModelManager::ReleaseElement(element, true);
    return nullptr;
}

// Every LOD tree of the model released and its slots emptied; its chunks dropped.
void emptyModel(CModel* model)
{
    for (uint32_t lod = 0; lod < CModel::MAX_LODS; ++lod) {
        if (model->pRootLodModel[lod]) CModelManager::ReleaseElement(model->pRootLodModel[lod], true);
        model->SetRootLodModel(lod, nullptr, 0.0f);
    }
    if (model->m_pChunks) model->m_pChunks->Release();
    model->m_pChunks = nullptr;
    model->m_pAlternateElement = nullptr;
    model->m_numLods = 0;
    model->m_numMeshElements = 0;
}

void placeLod(CModel* model, uint32_t slot, CModelElement* root, float threshold)
{
    if (model->pRootLodModel[slot]) CModelManager::ReleaseElement(model->pRootLodModel[slot], true);
    model->SetRootLodModel(slot, root, threshold);
}

void setModelFlags(CModel* model, const ModelLoad& ld)
{
    uint8_t flags = 0;
    if (ld.anyLit) flags |= CModel::FLAG_LIT;
    if (ld.anyVSLit) flags |= CModel::FLAG_VSLIT;
    if (ld.everyTransparent) flags |= CModel::FLAG_ALPHAFADE;
    if (ld.version < FIRST_BOUNDS_VERSION) flags |= CModel::FLAG_NOBOUNDS;
    if (ld.flags & CModelUtil::LOAD_TOOL) flags |= CModel::FLAG_TOOLMESH;
    model->m_flags = flags;
    model->m_numMeshElements = static_cast<uint8_t>(std::min<uint32_t>(ld.meshElements, 255));
}

// The LOD records (from 106) or the one element tree of older files, into the model.
bool readLods(ModelLoad& ld, CModel* model, uint32_t lod, float lodDistance)
{
    ModelReader& in = ld.in;
    uint32_t numLods = 1;
    if (ld.version >= FIRST_LOD_VERSION) {
        uint32_t chunkFlag = 0;
        if (!in.ReadWord(&chunkFlag)) return false;
        if (chunkFlag) {
            CModelExtensionChunkSet* set = nullptr;
            if (!in.ReadChunks(&set)) return false;
            if (model->m_pChunks) model->m_pChunks->Release();
            model->m_pChunks = set;
        }
        if (!in.ReadWord(&numLods)) return false;
        if (numLods > CModel::MAX_LODS) return in.Fail("has more LODs than a model holds", "numLods <= MAX_LODS");
        if (numLods > 1 && lod != 0)
            assertFailedMsg(concatStrings("Tried to load multiLOD model into single LOD: ", ld.name), "lod==0",
                            __FILE__, __LINE__);
    }
    model->m_numLods = numLods;
    for (uint32_t i = 0; i < numLods; ++i) {
        float threshold = lodDistance;
        if (ld.version >= FIRST_LOD_VERSION && !in.Read(&threshold, 4)) return false;
        CModelElement* root = readElement(ld, 1);
        if (!root) return false;
        placeLod(model, numLods == 1 ? lod : i, root, threshold);
        setModelFlags(model, ld);
        computeBounds(model);
    }
    return true;
}

// The version with its checks: below the minimum reported (false); any other than the current
// shown as a loading line.
bool checkVersion(uint32_t version, const char* name, const char* incompatibleFormat)
{
    if (version < CModelUtil::GetMinVersionNumber()) {
        char text[MAX_PATH + 128];
        std::snprintf(text, sizeof text, incompatibleFormat, name, CModelUtil::VERSION, CModelUtil::MIN_VERSION,
                      version);
        // The check carries the box's text, so that each refused file is an entry of its own.
        assertFailedMsg(text, "version >= GetMinVersionNumber()", __FILE__, __LINE__);
        MessageBoxA(nullptr, text, IMPORT_ERROR, MB_OK);
        return false;
    }
    if (version != CModelUtil::VERSION) {
        char text[LOADING_HISTORY_SIZE];  // a longer name is cut, as a longer line would be refused
        std::snprintf(text, sizeof text, "%s is out of date. Expected %d, got %d", name, CModelUtil::VERSION, version);
        MatSetLoadingText(text);
    }
    return true;
}

bool openModelFile(CFile& file, const char* name)
{
    if (file.Open(name, FILE_MODE_READ | FILE_MODE_BUFFERED)) return true;
    char text[MAX_PATH + 32];
    std::snprintf(text, sizeof text, "File not found: %s", name);
    MessageBoxA(nullptr, openFailureText(name, file.LastError(), text).c_str(), IMPORT_ERROR, MB_OK);
    std::snprintf(text, sizeof text, "RSM <%s> file not found", name);
    assertFailedMsg(openFailureText(name, file.LastError(), text).c_str(), "bOpened", __FILE__, __LINE__);
    return false;
}

}  // namespace

void CModel::ComputeBounds() { computeBounds(this); }

CModel* CModelUtil::LoadModelFile(const char* fileName)
{
    // The highest quality is the one that takes the file itself.
    const int32_t quality = L3Scene.renderQuality;
    L3SetRenderQuality(2);
    CModel* pModel = LoadModel(fileName, 0, 1.0f, nullptr, 0);
    L3SetRenderQuality(quality);
    return pModel;
}

CModel* CModelUtil::LoadModel(const char* fileName, uint32_t lod, float lodDistance, CModel* pModel, uint32_t loadFlags)
{
    if (!VERIFY(fileName) || !VERIFY(lod < CModel::MAX_LODS)) return nullptr;
    char name[MAX_PATH];
    chooseFile(fileName, L3Scene.renderQuality, name);
    // A file of its own, whatever file names it.
    ReadingFile reading(name);
    // A file that failed this run is not read again: its first user has said why. A model given
    // is left empty, as by a failed load.
    if (fileFailedThisRun(name)) {
        if (pModel) emptyModel(pModel);
        return nullptr;
    }
    // Cut to what the loading screen takes, so that the line is always shown and cleared in pairs.
    char text[LOADING_LEVEL_SIZE];
    std::snprintf(text, sizeof text, "Loading Model: %.*s", static_cast<int>(sizeof text - 16), name);
    MatShowLoadingScreen(text, 0);
    if (lodDistance < 1e-5f) lodDistance = 1.0f;

    CFile file;
    if (!openModelFile(file, name)) {
        MatShowLoadingScreen("", 0);
        noteFileFailure(name);
        return nullptr;
    }
    ModelReader in(file, name);
    ModelLoad ld{file, in, name, 0, loadFlags, nullptr};
    CModel* model = nullptr;
    bool ok = in.ReadWord(&ld.version) && checkVersion(ld.version, name,
                                                       "%s is an incompatible version.\nExpected version %d (or at "
                                                       "least %d), got %d");
    uint32_t ignored = 0;
    if (ok && ld.version < FIRST_LOD_VERSION) ok = in.ReadWord(&ignored);
    uint32_t classId = CModelClassManager::GetDefaultClassId();
    if (ok && ld.version >= FIRST_CLASS_VERSION) {
        char className[MAX_NAME];
        bool isDefault = false;
        ok = in.ReadClassName(ld.version, className, &isDefault);
        if (ok && !(loadFlags & LOAD_DEFAULT_CLASS) && !isDefault && className[0]) {
            char classFile[MAX_NAME + 32];
            const bool named = CModelClassManager::ClassFilePath(className, classFile, sizeof classFile);
            // The class file's read, from its loading to the check that it gave the class: a class
            // file that was read and found wrong has said so, and the model adds nothing.
            std::optional<ReadingFile> reading;
            if (named) reading.emplace(classFile);
            if (!CModelClassManager::FindClassId(className, &classId, true)) {
                char unknown[2 * MAX_NAME + 96];
                std::snprintf(unknown, sizeof unknown, "Unknown class name, check classdef file %s%s%s%s", className,
                              named ? " (" : "", named ? classFile : "", named ? ")" : "");
                // Once a run for each class file, however many models name it.
                if (!named || noteFileFailure(classFile)) assertFailedMsg(unknown, "bClassFound", __FILE__, __LINE__);
                classId = CModelClassManager::GetDefaultClassId();
            }
        }
    }
    if (ok) {
        model = pModel ? pModel : CModelManager::CreateModel();
        if (!model) ok = in.Fail("cannot be given a model", "pModel != NULL");
    }
    if (ok) {
        ld.pClass = CModelClassManager::GetClass(classId);
        model->m_flags = 0;
        model->m_classId = classId;
        model->m_hierarchical = 1;
        model->m_numAnimNodes = ld.pClass ? ld.pClass->m_numElements : 0;
        model->m_numMeshElements = 0;
        ok = readLods(ld, model, lod, lodDistance);
        if (!ok) {
            if (model == pModel)
                emptyModel(model);
            else
                CModelManager::ReleaseModel(model, true);
            model = nullptr;
        }
    }
    file.Close();
    MatShowLoadingScreen("", 0);
    if (!ok) noteFileFailure(name);
    return ok ? model : nullptr;
}

bool CModelUtil::CreateModelFromElement(CModel* pSourceModel, CModel** ppNewModel, const char* elementName)
{
    if (!VERIFY(pSourceModel) || !VERIFY(ppNewModel) || !VERIFY(elementName)) return false;
    *ppNewModel = nullptr;
    const CModelClass* pClass = CModelClassManager::GetClass(pSourceModel->m_classId);
    uint32_t node = 0;
    char text[2 * MAX_NAME + 64];
    if (!pClass || !pClass->FindElement(elementName, &node)) {
        std::snprintf(text, sizeof text, "Failed to find element %s in class %s", elementName,
                      pClass ? pClass->m_pName : "");
        assertFailedMsg(text, "bFound", __FILE__, __LINE__);
        return false;
    }
    const CModelElement* pElement = pSourceModel->FindElementByNode(node, 0);
    if (!pElement) {
        std::snprintf(text, sizeof text, "Could not find element %s in model %d", elementName,
                      static_cast<int>(pSourceModel->m_id));
        assertFailedMsg(text, "pModelElement", __FILE__, __LINE__);
        return false;
    }
    CModel* pNew = CModelManager::CreateModel();
    if (!pNew) return false;
    CModelElement* pCopy = pElement->Clone(nullptr, false);
    if (!pCopy) {
        CModelManager::ReleaseModel(pNew, true);
        return false;
    }
    pCopy->m_animNodeIndex = CModelElement::NO_ANIM_NODE;
    pNew->m_centre = pElement->m_boundsCentre;
    pNew->m_radius = pElement->m_boundsRadius;
    pNew->m_classId = pSourceModel->m_classId;
    pNew->m_flags = pSourceModel->m_flags;
    pNew->m_numAnimNodes = pSourceModel->m_numAnimNodes;
    pNew->m_numLods = 1;
    pNew->m_numMeshElements = pCopy->m_pMeshObject ? 1 : 0;
    pNew->SetRootLodModel(0, pCopy, 0.0f);
    *ppNewModel = pNew;
    return true;
}

bool CModelUtil::ReadModelBounds(const char* fileName, CFile* pFile, uint32_t* pVersion, CModelBounds* pBounds)
{
    if (!VERIFY(fileName) || !VERIFY(pFile) || !VERIFY(pVersion) || !VERIFY(pBounds)) return false;
    if (!pFile->Open(fileName, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        char text[MAX_PATH + 32];
        std::snprintf(text, sizeof text, "RSM <%s> file not found", fileName);
        assertFailedMsg(openFailureText(fileName, pFile->LastError(), text).c_str(), "bOpened", __FILE__, __LINE__);
        return false;
    }
    ModelReader in(*pFile, fileName);
    uint32_t version = 0, word = 0, type = 0;
    char text[MAX_NAME];
    bool isDefault = false;
    bool ok = in.ReadWord(&version);
    // An incompatible version is reported and read all the same.
    if (ok) checkVersion(version, fileName, "%s is an incompatible version.\nExpected %d (or at least %d), got %d");
    if (ok && version < FIRST_LOD_VERSION) ok = in.ReadWord(&word);
    if (ok && version >= FIRST_CLASS_VERSION) ok = in.ReadClassName(version, text, &isDefault);
    if (ok && version >= FIRST_LOD_VERSION) {
        uint32_t numLods = 0;
        float threshold = 0;
        ok = in.ReadWord(&word) && (!word || in.ReadChunks(nullptr)) && in.ReadWord(&numLods);
        if (ok && numLods == 0) ok = in.Fail("has no LOD", "numLods > 0");
        ok = ok && in.Read(&threshold, 4);
    }
    ok = ok && in.ReadName(text) && in.ReadWord(&type);
    if (ok && type != TYPE_MESH) ok = in.Fail("has a root that is not a mesh", "type == 1");
    CModelBounds bounds;
    ok = ok && readTransform(in, bounds.transform);
    if (ok && version >= FIRST_BOUNDS_VERSION) {
        float sphere[4];
        ok = in.Read(sphere, sizeof sphere);
        bounds.centre = Vector3(sphere[0], sphere[1], sphere[2]);
        bounds.radius = sphere[3];
    }
    if (!ok) {
        pFile->Close();
        return false;
    }
    *pVersion = version;
    *pBounds = bounds;
    return true;
}
