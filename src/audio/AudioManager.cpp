#include "audio/AudioManager.h"

#include "audio/AudioLists.h"
#include "audio/PCAudioResourceManager.h"
#include "audio/SilentAudioResourceManager.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const float DEFAULT_MIN_DISTANCE = 250.0f;
const float DEFAULT_MAX_DISTANCE = 1.0e9f;
const float SMALLEST_MAX_DISTANCE = 1e-6f;
const int32_t STREAM_PRIORITY = 2;

float squaredDistance(const Vector3& a, const Vector3& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

void* idData(int32_t id) { return reinterpret_cast<void*>(static_cast<intptr_t>(id)); }
int32_t dataId(const void* data) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(data)); }

}  // namespace

CAudioManager::CAudioManager()
    : m_defaultMinDistance(DEFAULT_MIN_DISTANCE),
      m_defaultMaxDistance(DEFAULT_MAX_DISTANCE),
      ErrorOnAudioLoad(0),
      m_force2D(0),
      m_pDevice(nullptr),
      m_nextVoiceId(1)
{
    InitializeCriticalSection(&m_lock);
    EnterCriticalSection(&m_lock);
    m_pDevice = new CPCAudioResourceManager(this);
    LeaveCriticalSection(&m_lock);
}

CAudioManager::~CAudioManager()
{
    delete m_pDevice;
    m_pDevice = nullptr;
    DeleteCriticalSection(&m_lock);
    for (SAudioEffect* pEffect : listItems<SAudioEffect>(m_voices)) DeleteEffect(pEffect);
    for (SAudioFile* pSample : listItems<SAudioFile>(m_samples)) delete pSample;
    m_samples.RemoveAll();
}

bool CAudioManager::Init()
{
    if (m_pDevice->Init()) return true;
    // No sound card: the game goes on in silence.
    delete m_pDevice;
    m_pDevice = new CSilentAudioResourceManager(this);
    return m_pDevice->Init();
}

void CAudioManager::Shutdown() { m_pDevice->Shutdown(); }

// ---- Samples ----

SAudioFile* CAudioManager::LoadSample2D(const char* pFilename, int32_t category)
{
    return LoadSample(pFilename, category, false);
}

SAudioFile* CAudioManager::LoadSample3D(const char* pFilename, int32_t category)
{
    return LoadSample(pFilename, category, !m_force2D);
}

SAudioFile* CAudioManager::LoadSample(const char* pFilename, int32_t category, bool is3D)
{
    if (!VERIFY(pFilename)) return nullptr;
    // The sample is a file of its own, whatever file names it: its fault is said naming it, even
    // after the definition being read has made its report.
    ReadingFile reading(pFilename);
    // A name cut to fit its entry would never be found again: every load would add one.
    if (!VERIFY_MSG(strlen(pFilename) < SAudioFile::MAX_NAME, concatStrings("Sample name too long: ", pFilename)))
        return nullptr;
    // The last entry of the same name in list order lends its data to another kind or category.
    SAudioFile* pSameName = nullptr;
    for (m_samples.GotoHead(); m_samples.HasCurrent(); m_samples.GotoNext()) {
        auto* pSample = static_cast<SAudioFile*>(m_samples.GetCurrent());
        if (stricmp(pSample->m_name, pFilename) != 0) continue;
        if (pSample->m_category == category && (pSample->m_3D != 0) == is3D) {
            ++pSample->m_refCount;
            return pSample;
        }
        pSameName = pSample;
    }
    ASSERT_MSG(!ErrorOnAudioLoad, concatStrings("Attempting to load sample\n", pFilename));

    uint32_t handle;
    if (pSameName)
        handle = m_pDevice->NewHandle(pSameName->m_deviceHandle, is3D, category);
    else
        handle = is3D ? m_pDevice->LoadSample3D(pFilename, category) : m_pDevice->LoadSample2D(pFilename, category);
    if (handle == INVALID_AUDIO_MANAGER_FILE_HANDLE) return nullptr;

    auto* pSample = new SAudioFile{};
    pSample->m_deviceHandle = handle;
    snprintf(pSample->m_name, sizeof pSample->m_name, "%s", pFilename);
    pSample->m_3D = is3D;
    pSample->m_protected = 0;
    pSample->m_category = category;
    pSample->m_refCount = 1;
    m_samples.InsertAfter(pSample);
    return pSample;
}

bool CAudioManager::HasSample(const SAudioFile* pSample)
{
    return findInList<SAudioFile>(m_samples, [pSample](SAudioFile* s) { return s == pSample; }) != nullptr;
}

void CAudioManager::ReleaseSample(SAudioFile* pSample)
{
    if (!pSample || !HasSample(pSample)) return;
    if (--pSample->m_refCount > 0) return;
    for (SAudioEffect* pEffect : listItems<SAudioEffect>(m_voices)) {
        if (pEffect->m_pSample != pSample) continue;
        m_pDevice->StopVoice(pEffect->m_deviceHandle, 0);
        RemoveEffectFromAnySubmix(pEffect);
        DeleteEffect(pEffect);
    }
    m_pDevice->FreeSample(pSample->m_deviceHandle);
    removeFromList(m_samples, pSample);
    delete pSample;
}

// ---- Voices ----

int32_t CAudioManager::Play(SAudioFile* pSample, int32_t priority, uint8_t loop, float volume, float frequencyRatio,
                            float x, float y, float z, float minDistance, float maxDistance, int32_t submix,
                            uint32_t further1, uint32_t further2)
{
    Vector3 position(x, y, z);
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) position.set(0.0f, 0.0f, 0.0f);
    if (!(minDistance >= 0.0f)) minDistance = m_defaultMinDistance;
    if (!(maxDistance >= SMALLEST_MAX_DISTANCE)) maxDistance = m_defaultMaxDistance;
    if (!pSample) return INVALID_AUDIO_VOICE;
    if (!HasSample(pSample)) {
        char value[32];
        snprintf(value, sizeof value, "%p", static_cast<void*>(pSample));
        assertFailedMsg(concatStrings("Bad audio file handle: ", value), "false", __FILE__, __LINE__);
        return INVALID_AUDIO_VOICE;
    }
    // A submix nobody has is reported, and the voice starts on its own.
    if (submix != -1 && !FindEffect(submix)) {
        assertFailedMsg(concatStrings("Bad submix effect manager handle: ", intToString(submix)), "false", __FILE__,
                        __LINE__);
        submix = -1;
    }

    if (m_pDevice->GetFreeVoices() == 0) {
        const Vector3 from = pSample->m_3D ? position : m_pDevice->GetListenerPosition();
        if (!StealVoice(from.x, from.y, from.z, priority)) return INVALID_AUDIO_VOICE;
        if (m_pDevice->GetFreeVoices() == 0) return INVALID_AUDIO_VOICE;
    }
    // Looked up after stealing, which may have taken it.
    SAudioEffect* pSubmix = submix != -1 ? FindEffect(submix) : nullptr;
    const int32_t deviceHandle =
        m_pDevice->StartVoice(pSample->m_deviceHandle, volume, frequencyRatio, loop != 0, minDistance, maxDistance,
                              pSubmix ? pSubmix->m_deviceHandle : -1, further1, further2);
    if (deviceHandle == INVALID_AUDIO_VOICE) return INVALID_AUDIO_VOICE;
    if (pSample->m_3D && !pSubmix) m_pDevice->SetPosition(deviceHandle, position.x, position.y, position.z);

    auto* pEffect = new SAudioEffect{};
    pEffect->m_id = m_nextVoiceId++;
    pEffect->m_pSample = pSample;
    pEffect->m_started = 1;
    pEffect->m_deviceHandle = deviceHandle;
    pEffect->m_priority = priority;
    pEffect->m_loop = loop;
    pEffect->m_active = 1;
    pEffect->m_volume = 1.0f;
    pEffect->m_frequencyRatio = 1.0f;
    pEffect->m_position = position;
    pEffect->m_submix = 0;
    m_voices.InsertAfter(pEffect);
    if (pSubmix) {
        pSubmix->m_submixSourcesAE.InsertAfter(idData(pEffect->m_id));
        pEffect->m_submix = pSubmix->m_id;
    }
    return pEffect->m_id;
}

bool CAudioManager::StealVoice(float x, float y, float z, int32_t priority)
{
    const Vector3 listener = m_pDevice->GetListenerPosition();
    SAudioEffect* pChosen = nullptr;
    float farthest = 0.0f;
    for (SAudioEffect* pEffect : listItems<SAudioEffect>(m_voices)) {
        const SAudioFile* pSample = pEffect->m_pSample;
        if (!pSample->m_3D || pSample->m_protected || pEffect->m_submix != 0 || pEffect->m_priority > priority) continue;
        const float distance = squaredDistance(pEffect->m_position, listener);
        if (distance > farthest) {
            farthest = distance;
            pChosen = pEffect;
        }
    }
    if (!pChosen || !(squaredDistance(Vector3(x, y, z), listener) < farthest)) return false;
    RemoveEffectFromAnySubmix(pChosen);
    m_pDevice->StopVoice(pChosen->m_deviceHandle, 0);
    // The voices started into it play on.
    DeleteEffect(pChosen);
    return true;
}

void CAudioManager::Stop(int32_t id)
{
    SAudioEffect* pEffect = FindEffect(id);
    if (!pEffect) return;
    m_pDevice->StopVoice(pEffect->m_deviceHandle, 0);
    std::vector<int32_t> sources;
    for (void* data : listItems<void>(pEffect->m_submixSourcesAE)) sources.push_back(dataId(data));
    for (int32_t source : sources) Stop(source);
    RemoveEffectFromAnySubmix(pEffect);
    if (!FindEffect(id)) {
        assertFailedMsg("Stop() Oh dear, we should not see this...", "false", __FILE__, __LINE__);
        return;
    }
    DeleteEffect(pEffect);
}

void CAudioManager::RemoveEffectFromAnySubmix(SAudioEffect* pEffect)
{
    if (pEffect->m_submix == 0) return;
    SAudioEffect* pSBAE = FindEffect(pEffect->m_submix);
    if (!pSBAE) return;
    if (!VERIFY_MSG(pSBAE->m_submixSourcesAE.getNumItems(),
                    "RemoveEffectFromAnySubmix() No entries in the source effect list of the submix?"))
        return;
    const int32_t id = pEffect->m_id;
    if (findInList<void>(pSBAE->m_submixSourcesAE, [id](void* data) { return dataId(data) == id; }))
        pSBAE->m_submixSourcesAE.RemoveCurrent();
}

void CAudioManager::OnVoiceFinished(int32_t deviceHandle)
{
    SAudioEffect* pEffect =
        findInList<SAudioEffect>(m_voices, [deviceHandle](SAudioEffect* e) { return e->m_deviceHandle == deviceHandle; });
    if (!pEffect) return;
    RemoveEffectFromAnySubmix(pEffect);
    DeleteEffect(pEffect);
}

void CAudioManager::DeleteEffect(SAudioEffect* pEffect)
{
    removeFromList(m_voices, pEffect);
    pEffect->m_submixSourcesAE.RemoveAll();
    delete pEffect;
}

SAudioEffect* CAudioManager::FindEffect(int32_t id)
{
    return findInList<SAudioEffect>(m_voices, [id](SAudioEffect* e) { return e->m_id == id; });
}

void CAudioManager::Rewind(int32_t id)
{
    if (id == INVALID_AUDIO_VOICE) return;
    if (SAudioEffect* pEffect = FindEffect(id)) m_pDevice->Rewind(pEffect->m_deviceHandle);
}

void CAudioManager::SetFrequency(int32_t id, float ratio)
{
    SAudioEffect* pEffect = FindEffect(id);
    if (!pEffect) return;
    pEffect->m_frequencyRatio = ratio;
    m_pDevice->SetFrequency(pEffect->m_deviceHandle, ratio);
}

void CAudioManager::SetVolume(int32_t id, float volume)
{
    SAudioEffect* pEffect = FindEffect(id);
    if (!pEffect) return;
    pEffect->m_volume = volume;
    m_pDevice->SetVolume(pEffect->m_deviceHandle, volume);
}

void CAudioManager::SetPosition(int32_t id, float x, float y, float z)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return;
    SAudioEffect* pEffect = FindEffect(id);
    if (!pEffect) return;
    pEffect->m_position.set(x, y, z);
    m_pDevice->SetPosition(pEffect->m_deviceHandle, x, y, z);
}

void CAudioManager::SetVelocity(int32_t id, float x, float y, float z)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return;
    SAudioEffect* pEffect = FindEffect(id);
    if (!pEffect) return;
    pEffect->m_velocity.set(x, y, z);
    m_pDevice->SetVelocity(pEffect->m_deviceHandle, x, y, z);
}

void CAudioManager::StopSample(SAudioFile* pSample)
{
    if (pSample) m_pDevice->StopSample(pSample->m_deviceHandle);
}

bool CAudioManager::IsFinished(int32_t id)
{
    SAudioEffect* pEffect = FindEffect(id);
    return !pEffect || m_pDevice->IsVoiceFinished(pEffect->m_deviceHandle);
}

void CAudioManager::SetCategoryVolume(int32_t category, float volume) { m_pDevice->SetCategoryVolume(category, volume); }
void CAudioManager::StopCategory(int32_t category) { m_pDevice->StopCategory(category); }
void CAudioManager::PauseCategory(int32_t category) { m_pDevice->PauseCategory(category); }
void CAudioManager::ResumeCategory(int32_t category) { m_pDevice->ResumeCategory(category); }

// ---- Streams ----

int32_t CAudioManager::CreateStream(const char* pFilename, uint8_t loop, float volume, uint32_t further)
{
    if (m_pDevice->GetFreeVoices() == 0) {
        const Vector3 listener = m_pDevice->GetListenerPosition();
        if (!StealVoice(listener.x, listener.y, listener.z, STREAM_PRIORITY)) return INVALID_AUDIO_VOICE;
    }
    return m_pDevice->CreateStream(pFilename, volume, loop != 0, further);
}

void CAudioManager::PauseStream(int32_t stream) { m_pDevice->PauseStream(stream); }
void CAudioManager::ResumeStream(int32_t stream) { m_pDevice->ResumeStream(stream); }
void CAudioManager::ReleaseStream(int32_t stream) { m_pDevice->ReleaseStream(stream); }
void CAudioManager::ReleaseAllStreams() { m_pDevice->ReleaseAllStreams(); }
void CAudioManager::SetStreamVolume(int32_t stream, float volume) { m_pDevice->SetStreamVolume(stream, volume); }
bool CAudioManager::IsStreamFinished(int32_t stream) { return m_pDevice->IsStreamFinished(stream); }

void CAudioManager::Update()
{
    EnterCriticalSection(&m_lock);
    m_pDevice->Update();
    LeaveCriticalSection(&m_lock);
}
