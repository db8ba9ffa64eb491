// CPCStreamDSound: streams a WAV file through a 24 KB looping DirectSound buffer of three 8 KB
// blocks. Position notifications at the end of each block wake the stream's thread, which refills
// the blocks the play cursor has left with the next bytes of the file.
#pragma once

#include "audio/PCStream.h"
#include "platform/dsound.h"

#include <atomic>

class CWavFile;

class CPCStreamDSound : public CPCThreadedStream {
public:
    static constexpr uint32_t BLOCK_BYTES = 8192;
    static constexpr uint32_t NUM_BLOCKS = 3;
    static constexpr uint32_t BUFFER_BYTES = BLOCK_BYTES * NUM_BLOCKS;

    // Without a DirectSound object the stream is reported and never starts.
    CPCStreamDSound(int32_t id, const char* pFilename, bool loop, IDirectSound8* pDS);
    ~CPCStreamDSound() override;

    bool Init(float volume) override;
    void Pause() override;
    void Resume() override;
    bool Update() override;

private:
    bool StartOnThread() override { return StartPlaying(); }
    bool HandleEvent(uint32_t index) override;
    void ExitOnThread() override { ReleaseBuffer(); }
    void ApplyVolume(int32_t volume) override;
    bool StartPlaying();
    void ReleaseBuffer();
    bool Refill();
    bool FillBlock(uint8_t* pData, uint32_t size, uint32_t blockStart);

    // Written by the stream's thread and read by Update: the offset is stored before the flag.
    std::atomic<bool> m_endReached;
    std::atomic<uint32_t> m_endOffset;
    uint32_t m_nextBlock;
    IDirectSound8* m_pDS;
    IDirectSoundBuffer* m_pDSB;
    IDirectSoundNotify* m_pDSNotify;
    CWavFile* m_pWav;
    HANDLE m_notifyEvent;
    // A refill failed while playing: the thread has stopped the buffer and ended.
    std::atomic<bool> m_failed;
};
