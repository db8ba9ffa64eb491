#include "audio/PCStreamDSound.h"

#include "audio/AudioVolume.h"
#include "audio/EventThread.h"
#include "audio/WavFile.h"
#include "winfile/File.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cstring>
#include <new>

namespace {

const uint32_t NOTIFY_EVENT_INDEX = 0;
const int LOCK_TRIES = 3;

void report(const char* message) { assertFailedMsg(message, "false", __FILE__, __LINE__); }

void closeEvent(HANDLE& event)
{
    if (event) CloseHandle(event);
    event = nullptr;
}

}  // namespace

CPCStreamDSound::CPCStreamDSound(int32_t id, const char* pFilename, bool loop, IDirectSound8* pDS)
    : CPCThreadedStream(id, pFilename, loop),
      m_endReached(false),
      m_endOffset(0),
      m_nextBlock(0),
      m_pDS(pDS),
      m_pDSB(nullptr),
      m_pDSNotify(nullptr),
      m_pWav(nullptr),
      m_notifyEvent(nullptr),
      m_failed(false)
{
    VERIFY(pDS);
}

CPCStreamDSound::~CPCStreamDSound()
{
    EndThread();
    delete m_pWav;
    closeEvent(m_notifyEvent);
}

bool CPCStreamDSound::Init(float volume)
{
    m_volume = volume;
    m_endReached = false;
    m_endOffset = 0;
    m_nextBlock = 0;
    if (!m_named || !m_pDS || m_pThread) return false;

    m_notifyEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!MakeThread("Failed to init DSound stream thread")) return false;
    const HANDLE events[2] = {m_notifyEvent, m_stopEvent};
    if (!VERIFY_MSG(m_pThread->RegisterEvents(2, events), "Failed to register events with DSound stream thread"))
        return false;
    return VERIFY_MSG(m_pThread->Start(), "Failed to start DSound stream thread");
}

void CPCStreamDSound::Pause()
{
    if (!m_pThread || !m_pThread->IsProcessing() || m_paused) return;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pDSB) m_pDSB->Stop();
    m_paused = true;
}

void CPCStreamDSound::Resume()
{
    if (!m_pThread || !m_pThread->IsProcessing() || !m_paused) return;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pDSB) m_pDSB->Play(0, 0, DSBPLAY_LOOPING);
    m_paused = false;
}

void CPCStreamDSound::ApplyVolume(int32_t volume)
{
    if (m_pDSB) m_pDSB->SetVolume(volume);
}

bool CPCStreamDSound::Update()
{
    if (!m_pThread || !m_pThread->IsRunning() || m_failed) return true;
    if (!m_pThread->IsProcessing()) return false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_pDSB) return true;  // the thread is ending
        DWORD status = 0;
        if (FAILED(m_pDSB->GetStatus(&status))) return false;
        if ((status & DSBSTATUS_TERMINATED) || (!(status & DSBSTATUS_PLAYING) && !m_paused)) return true;
        if (!m_endReached.load(std::memory_order_acquire)) return false;
        DWORD play = 0;
        if (FAILED(m_pDSB->GetCurrentPosition(&play, nullptr))) {
            report("GetCurrentPosition failed on stream");
            return false;
        }
        // Finished once the cursor has passed the end of the data within the block that holds it.
        const uint32_t end = m_endOffset.load(std::memory_order_relaxed);
        if (play < end || (play ^ end) >= BLOCK_BYTES) return false;
    }
    Shutdown();
    return true;
}

bool CPCStreamDSound::StartPlaying()
{
    m_pWav = new CWavFile;
    if (!m_pWav->Open(m_pFilename)) {
        report(openFailureText(m_pFilename, m_pWav->OpenError(), concatStrings("Failed to open streaming wav: ", m_pFilename))
                   .c_str());
        return false;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = m_pWav->GetNumChannels();
    format.nSamplesPerSec = m_pWav->GetSamplesPerSec();
    format.nAvgBytesPerSec = m_pWav->GetAvgBytesPerSec();
    format.nBlockAlign = m_pWav->GetBlockAlign();
    format.wBitsPerSample = m_pWav->GetBitsPerSample();
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2;
    desc.dwBufferBytes = BUFFER_BYTES;
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    if (FAILED(m_pDS->CreateSoundBuffer(&desc, &buffer, nullptr))) {
        report(concatStrings("Failed to create secondary buffer for stream ", m_pFilename));
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pDSB = buffer;
    }
    if (FAILED(m_pDSB->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&m_pDSNotify)))) {
        m_pDSNotify = nullptr;
        report(concatStrings("Failed to query Notify interface for stream ", m_pFilename));
        return false;
    }
    DSBPOSITIONNOTIFY positions[NUM_BLOCKS];
    for (uint32_t i = 0; i < NUM_BLOCKS; ++i) positions[i] = {(i + 1) * BLOCK_BYTES - 1, m_notifyEvent};
    if (FAILED(m_pDSNotify->SetNotificationPositions(NUM_BLOCKS, positions))) {
        report("Failed to set notification positions for stream");
        closeEvent(m_notifyEvent);
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        if (!Refill()) {
            report(concatStrings("Failed to fill stream buffer for ", m_pFilename));
            return false;
        }
    }
    // Released before it could play.
    if (WaitForSingleObject(m_stopEvent, 0) == WAIT_OBJECT_0) return false;

    std::lock_guard<std::mutex> guard(m_lock);
    m_pDSB->SetCurrentPosition(0);
    m_pDSB->SetVolume(m_volumeGiven ? m_givenVolume : linearToDirectSoundVolume(m_volume));
    m_pDSB->Play(0, 0, DSBPLAY_LOOPING);
    return true;
}

bool CPCStreamDSound::HandleEvent(uint32_t index)
{
    if (index == NOTIFY_EVENT_INDEX) {
        // Reset first: a notification that arrives during the refill must wake the thread again.
        ResetEvent(m_notifyEvent);
        if (Refill()) return false;
        // The file or the buffer has failed: stop rather than loop stale blocks.
        m_pDSB->Stop();
        m_failed = true;
        return true;
    }
    m_pDSB->Stop();
    ResetEvent(m_stopEvent);
    return true;
}

void CPCStreamDSound::ReleaseBuffer()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pDSNotify) m_pDSNotify->Release();
    m_pDSNotify = nullptr;
    if (m_pDSB) m_pDSB->Release();
    m_pDSB = nullptr;
}

bool CPCStreamDSound::Refill()
{
    DWORD status = 0, play = 0;
    m_pDSB->GetStatus(&status);
    m_pDSB->GetCurrentPosition(&play, nullptr);
    uint32_t blocks = 1;
    if (status & DSBSTATUS_PLAYING) {
        uint32_t playBlock = play / BLOCK_BYTES;
        if (playBlock < m_nextBlock) playBlock += NUM_BLOCKS;
        blocks = playBlock - m_nextBlock;
    }
    for (uint32_t i = 0; i < blocks; ++i) {
        void* pData1 = nullptr;
        void* pData2 = nullptr;
        DWORD dataSize1 = 0, dataSize2 = 0;
        for (int tries = 1;; ++tries) {
            const HRESULT hr =
                m_pDSB->Lock(m_nextBlock * BLOCK_BYTES, BLOCK_BYTES, &pData1, &dataSize1, &pData2, &dataSize2, 0);
            if (SUCCEEDED(hr)) break;
            if (tries == LOCK_TRIES) {
                report("Failed to lock stream buffer");
                return false;
            }
            if (hr == DSERR_BUFFERLOST) m_pDSB->Restore();
        }
        ASSERT(pData2 == NULL);
        ASSERT(dataSize2 == 0);
        const uint32_t size = dataSize1 < BLOCK_BYTES ? dataSize1 : BLOCK_BYTES;
        const bool filled = FillBlock(static_cast<uint8_t*>(pData1), size, m_nextBlock * BLOCK_BYTES);
        m_pDSB->Unlock(pData1, dataSize1, pData2, dataSize2);
        if (!filled) return false;
        m_nextBlock = (m_nextBlock + 1) % NUM_BLOCKS;
    }
    return true;
}

bool CPCStreamDSound::FillBlock(uint8_t* pData, uint32_t size, uint32_t blockStart)
{
    uint32_t got = 0;
    for (;;) {
        // The data chunk still holds this much: a shorter read means the file has shrunk.
        const uint32_t left = m_pWav->GetDataLength() - m_pWav->GetBytesRead();
        const uint32_t expected = size - got < left ? size - got : left;
        const uint32_t read = m_pWav->Read(pData + got, size - got);
        if (read < expected) {
            report(concatStrings("Failed to read stream ", m_pFilename));
            return false;
        }
        got += read;
        if (got == size) return true;
        if (!m_loop) break;
        // An empty looping file would rewind for ever.
        if (m_pWav->GetDataLength() == 0) return false;
        m_pWav->Rewind();
    }
    memset(pData + got, m_pWav->GetBitsPerSample() == 16 ? 0 : 0x80, size - got);
    if (!m_endReached.load(std::memory_order_relaxed)) {
        m_endOffset.store(blockStart + got, std::memory_order_relaxed);
        m_endReached.store(true, std::memory_order_release);
    }
    return true;
}
