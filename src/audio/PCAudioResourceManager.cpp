#include "audio/PCAudioResourceManager.h"

#include "audio/AudioLists.h"
#include "audio/AudioManager.h"
#include "audio/AudioVolume.h"
#include "audio/PCStreamDShow.h"
#include "audio/PCStreamDSound.h"
#include "audio/WavFile.h"
#include "winfile/File.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "wincore/WinCore.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

const float START_DISTANCE_FACTOR = 0.1f;
const uint32_t PRIMARY_RATE = 44100;
const DWORD MAX_DIRECTORY = 512;

void report(const char* message) { assertFailedMsg(message, "false", __FILE__, __LINE__); }

// Categories index the volume table; a bad one is reported with the check that guards it.
bool validCategory(int32_t category)
{
    if (category >= 0 && category < MAXAUDIOCATEGORIES) return true;
    assertFailed("category < MAXAUDIOCATEGORIES", __FILE__, __LINE__);
    return false;
}

// Rate times ratio, truncated and held to what DirectSound plays (not a number: the lowest).
DWORD clampedFrequency(uint32_t rate, float ratio)
{
    const float frequency = static_cast<float>(rate) * ratio;
    if (!(frequency >= DSBFREQUENCY_MIN)) return DSBFREQUENCY_MIN;
    if (frequency >= DSBFREQUENCY_MAX) return DSBFREQUENCY_MAX;
    return static_cast<DWORD>(frequency);
}

bool endsWithWav(const char* name)
{
    const size_t length = strlen(name);
    return length >= 3 && strnicmp(name + length - 3, "wav", 3) == 0;
}

template <class T>
void releaseInterface(T*& pointer)
{
    if (pointer) pointer->Release();
    pointer = nullptr;
}

}  // namespace

CPCAudioResourceManager::CPCAudioResourceManager(CAudioManager* pAudioManager)
    : m_pAudioManager(pAudioManager),
      m_pDS(nullptr),
      m_pDSPrimaryBuffer(nullptr),
      m_pListener(nullptr),
      m_caps{},
      m_pSilentBuffer(nullptr),
      m_voicesInUse(0),
      m_maxVoices(0),
      m_nextVoiceHandle(0),
      m_nextStreamHandle(0),
      m_nextSampleHandle(1)
{
    for (float& volume : m_categoryVolumes) volume = 1.0f;
}

CPCAudioResourceManager::~CPCAudioResourceManager()
{
    Shutdown();
    for (SBR* pSBR : listItems<SBR>(m_samples)) FreeSample(pSBR->m_handle);
}

bool CPCAudioResourceManager::Init()
{
    if (FAILED(DirectSoundCreate8(nullptr, &m_pDS, nullptr))) {
        m_pDS = nullptr;
        return false;
    }
    m_caps = DSCAPS{};
    m_caps.dwSize = sizeof m_caps;
    if (FAILED(m_pDS->GetCaps(&m_caps))) {
        report("Failed to get DSound caps");
        return false;
    }
    // The card's own voice counts are not trusted.
    m_maxVoices = MAX_VOICES;
    if (FAILED(m_pDS->SetCooperativeLevel(WinCore.MainWindowHandle, DSSCL_PRIORITY))) {
        report("SetCooperativeLevel failed");
        Shutdown();
        return false;
    }

    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D;
    if (FAILED(m_pDS->CreateSoundBuffer(&desc, &m_pDSPrimaryBuffer, nullptr))) {
        m_pDSPrimaryBuffer = nullptr;
        report("Failed to create primary buffer");
        Shutdown();
        return false;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = (m_caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1;
    format.wBitsPerSample = (m_caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8;
    format.nSamplesPerSec = PRIMARY_RATE;
    format.nBlockAlign = static_cast<WORD>(format.wBitsPerSample / 8 * format.nChannels);
    format.nAvgBytesPerSec = format.nBlockAlign * PRIMARY_RATE;
    if (FAILED(m_pDSPrimaryBuffer->SetFormat(&format))) {
        report("Failed to set format of primary buffer");
        Shutdown();
        return false;
    }
    if (FAILED(m_pDSPrimaryBuffer->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(&m_pListener)))) {
        m_pListener = nullptr;
        report("Failed to query 3D Listener");
        Shutdown();
        return false;
    }

    SetListenerPosition(0.0f, 0.0f, 0.0f);
    SetListenerVelocity(0.0f, 0.0f, 0.0f);
    SetDistanceFactor(START_DISTANCE_FACTOR);
    m_pDSPrimaryBuffer->Play(0, 0, DSBPLAY_LOOPING);
    CreateSilentBuffer();
    return true;
}

void CPCAudioResourceManager::CreateSilentBuffer()
{
    // A second of silence keeps the card's mixing running between sounds.
    WAVEFORMATEX format{};
    m_pDSPrimaryBuffer->GetFormat(&format, sizeof format, nullptr);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_LOCSOFTWARE;
    desc.dwBufferBytes = format.nAvgBytesPerSec;
    desc.lpwfxFormat = &format;
    if (FAILED(m_pDS->CreateSoundBuffer(&desc, &m_pSilentBuffer, nullptr))) {
        m_pSilentBuffer = nullptr;
        report("Failed to create silent buffer");
        return;
    }
    void* pData1 = nullptr;
    void* pData2 = nullptr;
    DWORD size1 = 0, size2 = 0;
    if (FAILED(m_pSilentBuffer->Lock(0, 0, &pData1, &size1, &pData2, &size2, DSBLOCK_ENTIREBUFFER))) {
        report("Failed to lock silent buffer");
        releaseInterface(m_pSilentBuffer);
        return;
    }
    const int silence = format.wBitsPerSample == 16 ? 0 : 0x80;
    memset(pData1, silence, size1);
    if (pData2) memset(pData2, silence, size2);
    m_pSilentBuffer->Unlock(pData1, size1, pData2, size2);
    m_pSilentBuffer->SetCurrentPosition(0);
    m_pSilentBuffer->Play(0, 0, DSBPLAY_LOOPING);
}

void CPCAudioResourceManager::Shutdown()
{
    for (SVoice* pVoice : listItems<SVoice>(m_voices)) FreeVoice(pVoice);
    ReleaseAllStreams();
    if (m_pSilentBuffer) m_pSilentBuffer->Stop();
    releaseInterface(m_pSilentBuffer);
    if (m_pDSPrimaryBuffer) m_pDSPrimaryBuffer->Stop();
    // The master buffers go with the DirectSound object; the records stay until freed.
    for (SBR* pSBR : listItems<SBR>(m_samples)) releaseInterface(pSBR->m_pSD->m_pMaster);
    releaseInterface(m_pListener);
    releaseInterface(m_pDSPrimaryBuffer);
    releaseInterface(m_pDS);
}

// ---- Samples ----

uint32_t CPCAudioResourceManager::LoadSample2D(const char* pFilename, int32_t category)
{
    return LoadSample(pFilename, category, false);
}

uint32_t CPCAudioResourceManager::LoadSample3D(const char* pFilename, int32_t category)
{
    return LoadSample(pFilename, category, true);
}

uint32_t CPCAudioResourceManager::LoadSample(const char* pFilename, int32_t category, bool is3D)
{
    if (!validCategory(category) || !VERIFY(pFilename) || !m_pDS) return INVALID_AUDIO_MANAGER_FILE_HANDLE;
    CWavFile wave;
    if (!wave.Open(pFilename)) {
        report(openFailureText(pFilename, wave.OpenError(), concatStrings("Failed to open WAV file: ", pFilename)).c_str());
        return INVALID_AUDIO_MANAGER_FILE_HANDLE;
    }
    // DirectSound refuses a stereo 3D buffer, so such a load fails when the buffer is made; that
    // failure has been said already.
    const bool stereo3D = is3D && !VERIFY_MSG(wave.GetNumChannels() == 1,
                                              concatStrings("Stereo sample loaded as 3D (should be mono): ", pFilename));

    auto* pSD = new SSoundData{};
    pSD->m_wfx.wFormatTag = WAVE_FORMAT_PCM;
    pSD->m_wfx.nChannels = wave.GetNumChannels();
    pSD->m_wfx.nSamplesPerSec = wave.GetSamplesPerSec();
    pSD->m_wfx.nAvgBytesPerSec = wave.GetAvgBytesPerSec();
    pSD->m_wfx.nBlockAlign = wave.GetBlockAlign();
    pSD->m_wfx.wBitsPerSample = wave.GetBitsPerSample();
    pSD->m_bufferBytes = wave.GetDataLength();
    pSD->m_refCount = 1;
    snprintf(pSD->m_name, sizeof pSD->m_name, "%s", pFilename);

    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY | DSBCAPS_LOCSOFTWARE | (is3D ? DSBCAPS_CTRL3D : 0);
    desc.dwBufferBytes = pSD->m_bufferBytes;
    desc.lpwfxFormat = &pSD->m_wfx;
    if (FAILED(m_pDS->CreateSoundBuffer(&desc, &pSD->m_pMaster, nullptr))) {
        if (!stereo3D) report(concatStrings("Failed to create secondary buffer for ", pFilename));
        delete pSD;
        return INVALID_AUDIO_MANAGER_FILE_HANDLE;
    }
    void* pData1 = nullptr;
    void* pData2 = nullptr;
    DWORD dataSize1 = 0, dataSize2 = 0;
    if (FAILED(pSD->m_pMaster->Lock(0, 0, &pData1, &dataSize1, &pData2, &dataSize2, DSBLOCK_ENTIREBUFFER))) {
        report(concatStrings("Failed to lock sound buffer for ", pFilename));
        pSD->m_pMaster->Release();
        delete pSD;
        return INVALID_AUDIO_MANAGER_FILE_HANDLE;
    }
    // The data is read straight into the lock: a lock that cannot hold it refuses the load.
    const bool fits = VERIFY(dataSize1 >= pSD->m_bufferBytes) && VERIFY(dataSize2 == 0);
    if (fits) {
        auto* pBytes = static_cast<uint8_t*>(pData1);
        wave.Read(pBytes, 0);
        // A buffer rounded up to whole frames ends on a copy of the last byte rather than a click.
        if (dataSize1 == pSD->m_bufferBytes + 1 && pSD->m_bufferBytes > 0)
            pBytes[pSD->m_bufferBytes] = pBytes[pSD->m_bufferBytes - 1];
    }
    pSD->m_pMaster->Unlock(pData1, dataSize1, pData2, dataSize2);
    wave.Close();
    if (!fits) {
        pSD->m_pMaster->Release();
        delete pSD;
        return INVALID_AUDIO_MANAGER_FILE_HANDLE;
    }

    auto* pSBR = new SBR{m_nextSampleHandle++, category, is3D, pSD};
    m_samples.InsertAfter(pSBR);
    return pSBR->m_handle;
}

uint32_t CPCAudioResourceManager::NewHandle(uint32_t oldHandle, bool is3D, int32_t category)
{
    if (!VERIFY_MSG(oldHandle != INVALID_AUDIO_MANAGER_FILE_HANDLE, "Tried to generate a new handle from an invalid one"))
        return INVALID_AUDIO_MANAGER_FILE_HANDLE;
    if (!validCategory(category)) return INVALID_AUDIO_MANAGER_FILE_HANDLE;
    SBR* pSBR = FindSample(oldHandle);
    if (!pSBR) {
        report(concatStrings("Bad audiofile handle: ", intToString(static_cast<int>(oldHandle))));
        return INVALID_AUDIO_MANAGER_FILE_HANDLE;
    }
    if (is3D && !VERIFY_MSG(pSBR->m_pSD->m_wfx.nChannels == 1, "Tried to acquire a 3D handle for a stereo sample"))
        return INVALID_AUDIO_MANAGER_FILE_HANDLE;
    ++pSBR->m_pSD->m_refCount;
    auto* pNew = new SBR{m_nextSampleHandle++, category, is3D, pSBR->m_pSD};
    m_samples.InsertAfter(pNew);
    return pNew->m_handle;
}

void CPCAudioResourceManager::FreeSample(uint32_t sample)
{
    SBR* pSBR = FindSample(sample);
    if (!pSBR) return;
    for (SVoice* pVoice : listItems<SVoice>(m_voices))
        if (pVoice->m_pSBR == pSBR) FreeVoice(pVoice);
    SSoundData* pSD = pSBR->m_pSD;
    if (VERIFY_MSG(pSBR->m_pSD->m_refCount > 0, "Bad SSoundData reference count") && --pSD->m_refCount == 0) {
        releaseInterface(pSD->m_pMaster);
        delete pSD;
    }
    removeFromList(m_samples, pSBR);
    delete pSBR;
}

void CPCAudioResourceManager::FreeCategory(int32_t category)
{
    for (SBR* pSBR : listItems<SBR>(m_samples))
        if (pSBR->m_category == category) FreeSample(pSBR->m_handle);
}

uint32_t CPCAudioResourceManager::GetSampleMemory(int32_t category)
{
    uint32_t total = 0;
    for (SBR* pSBR : listItems<SBR>(m_samples)) {
        if (category != ALL_AUDIO_CATEGORIES && pSBR->m_category != category) continue;
        if (VERIFY(pSBR->m_pSD->m_refCount >= 1)) total += pSBR->m_pSD->m_bufferBytes / pSBR->m_pSD->m_refCount;
    }
    return total;
}

// ---- Voices ----

int32_t CPCAudioResourceManager::StartVoice(uint32_t sample, float volume, float frequencyRatio, bool loop,
                                            float minDistance, float maxDistance, int32_t, uint32_t, uint32_t)
{
    SBR* pSBR = FindSample(sample);
    if (!pSBR) {
        report(concatStrings("Bad audiofile handle: ", intToString(static_cast<int>(sample))));
        return INVALID_AUDIO_VOICE;
    }
    if (!VERIFY(pSBR->m_category < MAXAUDIOCATEGORIES) || !pSBR->m_pSD->m_pMaster || !m_pDS) return INVALID_AUDIO_VOICE;

    auto* pVoice = new SVoice{m_nextVoiceHandle++, loop, false, volume, pSBR, nullptr, nullptr};
    if (FAILED(m_pDS->DuplicateSoundBuffer(pSBR->m_pSD->m_pMaster, &pVoice->m_pBuffer))) {
        report(concatStrings("Failed to duplicate sound buffer for ", pSBR->m_pSD->m_name));
        delete pVoice;
        return INVALID_AUDIO_VOICE;
    }
    if (pSBR->m_3D) {
        if (FAILED(pVoice->m_pBuffer->QueryInterface(IID_IDirectSound3DBuffer,
                                                     reinterpret_cast<void**>(&pVoice->m_p3DBuffer)))) {
            report(concatStrings("Failed to query 3d buffer for ", pSBR->m_pSD->m_name));
            pVoice->m_pBuffer->Release();
            delete pVoice;
            return INVALID_AUDIO_VOICE;
        }
        pVoice->m_p3DBuffer->SetMinDistance(minDistance, DS3D_DEFERRED);
        pVoice->m_p3DBuffer->SetMaxDistance(maxDistance, DS3D_DEFERRED);
    }
    pVoice->m_pBuffer->SetFrequency(clampedFrequency(pSBR->m_pSD->m_wfx.nSamplesPerSec, frequencyRatio));
    const LONG converted = linearToDirectSoundVolume(volume * m_categoryVolumes[pSBR->m_category]);
    if (FAILED(pVoice->m_pBuffer->SetVolume(converted))) report("SetVolume failed");
    pVoice->m_pBuffer->SetCurrentPosition(0);
    pVoice->m_pBuffer->Play(0, 0, loop ? DSBPLAY_LOOPING : 0);
    m_voices.InsertAfter(pVoice);
    ++m_voicesInUse;
    return pVoice->m_handle;
}

void CPCAudioResourceManager::FreeVoice(SVoice* pVoice)
{
    pVoice->m_pBuffer->Stop();
    releaseInterface(pVoice->m_p3DBuffer);
    releaseInterface(pVoice->m_pBuffer);
    removeFromList(m_voices, pVoice);
    delete pVoice;
    --m_voicesInUse;
}

void CPCAudioResourceManager::Rewind(int32_t voice)
{
    SVoice* pVoice = FindVoice(voice);
    if (!pVoice) return;
    const HRESULT hr = pVoice->m_pBuffer->SetCurrentPosition(0);
    ASSERT_MSG(SUCCEEDED(hr), "DSound Error");
}

void CPCAudioResourceManager::SetFrequency(int32_t voice, float ratio)
{
    if (SVoice* pVoice = FindVoice(voice))
        pVoice->m_pBuffer->SetFrequency(clampedFrequency(pVoice->m_pSBR->m_pSD->m_wfx.nSamplesPerSec, ratio));
}

void CPCAudioResourceManager::ApplyVolume(SVoice* pVoice)
{
    pVoice->m_pBuffer->SetVolume(linearToDirectSoundVolume(pVoice->m_volume * m_categoryVolumes[pVoice->m_pSBR->m_category]));
}

void CPCAudioResourceManager::SetVolume(int32_t voice, float volume)
{
    SVoice* pVoice = FindVoice(voice);
    if (!pVoice) return;
    pVoice->m_volume = volume;
    ApplyVolume(pVoice);
}

void CPCAudioResourceManager::SetCategoryVolume(int32_t category, float volume)
{
    if (!validCategory(category)) return;
    m_categoryVolumes[category] = volume;
    for (SVoice* pVoice : listItems<SVoice>(m_voices))
        if (pVoice->m_pSBR->m_category == category) ApplyVolume(pVoice);
}

void CPCAudioResourceManager::Set3D(int32_t voice, float x, float y, float z, bool position)
{
    SVoice* pVoice = FindVoice(voice);
    if (!pVoice) return;
    if (!pVoice->m_p3DBuffer) {
        if (position)
            ASSERT_MSG(m_pAudioManager->InForce2DMode(), "SetPosition on 2D sound");
        else
            ASSERT_MSG(m_pAudioManager->InForce2DMode(), "SetVelocity on 2D sound");
        return;
    }
    if (position)
        pVoice->m_p3DBuffer->SetPosition(x, -y, z, DS3D_DEFERRED);
    else
        pVoice->m_p3DBuffer->SetVelocity(x, -y, z, DS3D_DEFERRED);
}

void CPCAudioResourceManager::SetPosition(int32_t voice, float x, float y, float z) { Set3D(voice, x, y, z, true); }

void CPCAudioResourceManager::SetVelocity(int32_t voice, float x, float y, float z) { Set3D(voice, x, y, z, false); }

void CPCAudioResourceManager::StopVoice(int32_t voice, uint32_t)
{
    if (SVoice* pVoice = FindVoice(voice)) FreeVoice(pVoice);
}

void CPCAudioResourceManager::StopSample(uint32_t sample)
{
    SBR* pSBR = FindSample(sample);
    if (!pSBR) return;
    for (SVoice* pVoice : listItems<SVoice>(m_voices))
        if (pVoice->m_pSBR == pSBR) FreeVoice(pVoice);
}

void CPCAudioResourceManager::StopCategory(int32_t category)
{
    for (SVoice* pVoice : listItems<SVoice>(m_voices))
        if (pVoice->m_pSBR->m_category == category) FreeVoice(pVoice);
}

void CPCAudioResourceManager::PauseVoice(int32_t voice)
{
    SVoice* pVoice = FindVoice(voice);
    if (!pVoice) return;
    pVoice->m_pBuffer->Stop();
    pVoice->m_paused = true;
}

void CPCAudioResourceManager::ResumeVoice(int32_t voice)
{
    SVoice* pVoice = FindVoice(voice);
    if (!pVoice) return;
    pVoice->m_pBuffer->Play(0, 0, pVoice->m_loop ? DSBPLAY_LOOPING : 0);
    pVoice->m_paused = false;
}

void CPCAudioResourceManager::PauseCategory(int32_t category)
{
    for (SVoice* pVoice : listItems<SVoice>(m_voices))
        if (pVoice->m_pSBR->m_category == category) PauseVoice(pVoice->m_handle);
}

void CPCAudioResourceManager::ResumeCategory(int32_t category)
{
    for (SVoice* pVoice : listItems<SVoice>(m_voices))
        if (pVoice->m_pSBR->m_category == category) ResumeVoice(pVoice->m_handle);
}

// ---- Streams ----

int32_t CPCAudioResourceManager::CreateStream(const char* pFilename, float volume, bool loop, uint32_t)
{
    if (!VERIFY(pFilename)) return INVALID_AUDIO_VOICE;
    const int32_t handle = m_nextStreamHandle++;
    CPCStream* pStream = nullptr;
    if (endsWithWav(pFilename)) {
        pStream = new (std::nothrow) CPCStreamDSound(handle, pFilename, loop, m_pDS);
    } else {
        // DirectShow is given a full path: a relative name is put under the working folder.
        std::string path = pFilename;
        const bool relative = pFilename[0] == '\0' || (pFilename[1] != ':' && pFilename[1] != '\\');
        char directory[MAX_DIRECTORY];
        const DWORD length = relative ? GetCurrentDirectoryA(MAX_DIRECTORY, directory) : 0;
        if (length > 0 && length < MAX_DIRECTORY) {
            const char last = directory[length - 1];
            path = std::string(directory) + (last == '\\' || last == '/' ? "" : "\\") + pFilename;
        }
        pStream = new (std::nothrow) CPCStreamDShow(handle, path.c_str(), loop);
    }
    if (!VERIFY(pStream)) return INVALID_AUDIO_VOICE;
    pStream->Init(volume);
    m_streams.InsertAfter(pStream);
    ++m_voicesInUse;
    return handle;
}

CPCStream* CPCAudioResourceManager::FindStream(int32_t handle)
{
    return findInList<CPCStream>(m_streams, [handle](CPCStream* s) { return s->GetId() == handle; });
}

void CPCAudioResourceManager::RemoveStream(CPCStream* pStream)
{
    removeFromList(m_streams, pStream);
    delete pStream;
    --m_voicesInUse;
}

void CPCAudioResourceManager::PauseStream(int32_t stream)
{
    if (CPCStream* pStream = FindStream(stream)) pStream->Pause();
}

void CPCAudioResourceManager::ResumeStream(int32_t stream)
{
    if (CPCStream* pStream = FindStream(stream)) pStream->Resume();
}

void CPCAudioResourceManager::ReleaseStream(int32_t stream)
{
    CPCStream* pStream = FindStream(stream);
    if (!pStream) return;
    pStream->Shutdown();
    RemoveStream(pStream);
}

void CPCAudioResourceManager::ReleaseAllStreams()
{
    for (CPCStream* pStream : listItems<CPCStream>(m_streams)) ReleaseStream(pStream->GetId());
}

void CPCAudioResourceManager::SetStreamVolume(int32_t stream, float volume)
{
    if (CPCStream* pStream = FindStream(stream)) pStream->SetVolume(linearToDirectSoundVolume(volume));
}

// ---- Listener ----

void CPCAudioResourceManager::SetListenerPosition(float x, float y, float z)
{
    if (m_pListener) m_pListener->SetPosition(x, -y, z, DS3D_DEFERRED);
    m_listenerPosition.set(x, y, z);
}

void CPCAudioResourceManager::SetListenerVelocity(float x, float y, float z)
{
    if (m_pListener) m_pListener->SetVelocity(x, -y, z, DS3D_DEFERRED);
    m_listenerVelocity.set(x, y, z);
}

void CPCAudioResourceManager::SetListenerOrientation(float frontX, float frontY, float frontZ, float topX, float topY,
                                                     float topZ)
{
    if (m_pListener) m_pListener->SetOrientation(frontX, -frontY, frontZ, topX, -topY, topZ, DS3D_DEFERRED);
}

void CPCAudioResourceManager::SetDopplerFactor(float factor)
{
    if (m_pListener) m_pListener->SetDopplerFactor(factor, DS3D_DEFERRED);
}

void CPCAudioResourceManager::SetDistanceFactor(float factor)
{
    if (m_pListener) m_pListener->SetDistanceFactor(factor, DS3D_IMMEDIATE);
}

// ---- Per frame ----

void CPCAudioResourceManager::Update()
{
    if (m_pListener) m_pListener->CommitDeferredSettings();
    for (SVoice* pVoice : listItems<SVoice>(m_voices)) {
        DWORD status = 0;
        pVoice->m_pBuffer->GetStatus(&status);
        const bool alive = !(status & (DSBSTATUS_BUFFERLOST | DSBSTATUS_TERMINATED)) &&
                           ((status & DSBSTATUS_PLAYING) || pVoice->m_paused);
        if (alive) continue;
        m_pAudioManager->OnVoiceFinished(pVoice->m_handle);
        FreeVoice(pVoice);
    }
    for (CPCStream* pStream : listItems<CPCStream>(m_streams))
        if (pStream->Update()) RemoveStream(pStream);
}

CPCAudioResourceManager::SBR* CPCAudioResourceManager::FindSample(uint32_t handle)
{
    return findInList<SBR>(m_samples, [handle](SBR* s) { return s->m_handle == handle; });
}

CPCAudioResourceManager::SVoice* CPCAudioResourceManager::FindVoice(int32_t handle)
{
    return findInList<SVoice>(m_voices, [handle](SVoice* v) { return v->m_handle == handle; });
}
