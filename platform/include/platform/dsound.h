// DirectSound 8 as the engine calls it: the device, a primary buffer with the 3D listener, secondary
// buffers (duplicated per voice, 3D, with position notifications), all mixed in software and played
// through SDL2. Every call may come from any thread.
#pragma once

#include "platform/com/objects.h"
#include "platform/win32.h"

// Results.
#define DS_OK S_OK
#define DSERR_ALLOCATED ((HRESULT)0x8878000Au)
#define DSERR_CONTROLUNAVAIL ((HRESULT)0x8878001Eu)
#define DSERR_INVALIDPARAM E_INVALIDARG
#define DSERR_INVALIDCALL ((HRESULT)0x88780032u)
#define DSERR_GENERIC E_FAIL
#define DSERR_PRIOLEVELNEEDED ((HRESULT)0x88780046u)
#define DSERR_OUTOFMEMORY E_OUTOFMEMORY
#define DSERR_BADFORMAT ((HRESULT)0x88780064u)
#define DSERR_UNSUPPORTED E_NOTIMPL
#define DSERR_NODRIVER ((HRESULT)0x88780078u)
#define DSERR_NOAGGREGATION CLASS_E_NOAGGREGATION
#define DSERR_BUFFERLOST ((HRESULT)0x88780096u)
#define DSERR_NOINTERFACE E_NOINTERFACE

// Cooperative levels.
#define DSSCL_NORMAL 1
#define DSSCL_PRIORITY 2
#define DSSCL_EXCLUSIVE 3
#define DSSCL_WRITEPRIMARY 4

// Device capabilities (DSCAPS::dwFlags).
#define DSCAPS_PRIMARYMONO 0x00000001
#define DSCAPS_PRIMARYSTEREO 0x00000002
#define DSCAPS_PRIMARY8BIT 0x00000004
#define DSCAPS_PRIMARY16BIT 0x00000008
#define DSCAPS_CONTINUOUSRATE 0x00000010
#define DSCAPS_EMULDRIVER 0x00000020
#define DSCAPS_CERTIFIED 0x00000040
#define DSCAPS_SECONDARYMONO 0x00000100
#define DSCAPS_SECONDARYSTEREO 0x00000200
#define DSCAPS_SECONDARY8BIT 0x00000400
#define DSCAPS_SECONDARY16BIT 0x00000800

// Buffer description flags.
#define DSBCAPS_PRIMARYBUFFER 0x00000001
#define DSBCAPS_STATIC 0x00000002
#define DSBCAPS_LOCHARDWARE 0x00000004
#define DSBCAPS_LOCSOFTWARE 0x00000008
#define DSBCAPS_CTRL3D 0x00000010
#define DSBCAPS_CTRLFREQUENCY 0x00000020
#define DSBCAPS_CTRLPAN 0x00000040
#define DSBCAPS_CTRLVOLUME 0x00000080
#define DSBCAPS_CTRLPOSITIONNOTIFY 0x00000100
#define DSBCAPS_CTRLFX 0x00000200
#define DSBCAPS_STICKYFOCUS 0x00004000
#define DSBCAPS_GLOBALFOCUS 0x00008000
#define DSBCAPS_GETCURRENTPOSITION2 0x00010000
#define DSBCAPS_MUTE3DATMAXDISTANCE 0x00020000
#define DSBCAPS_LOCDEFER 0x00040000

#define DSBPLAY_LOOPING 0x00000001

#define DSBSTATUS_PLAYING 0x00000001
#define DSBSTATUS_BUFFERLOST 0x00000002
#define DSBSTATUS_LOOPING 0x00000004
#define DSBSTATUS_TERMINATED 0x00000020

#define DSBLOCK_FROMWRITECURSOR 0x00000001
#define DSBLOCK_ENTIREBUFFER 0x00000002

#define DSBFREQUENCY_ORIGINAL 0
#define DSBFREQUENCY_MIN 100
#define DSBFREQUENCY_MAX 200000

#define DSBVOLUME_MIN (-10000)
#define DSBVOLUME_MAX 0

#define DSBSIZE_MIN 4
#define DSBSIZE_MAX 0x0FFFFFFF

#define DSBPN_OFFSETSTOP 0xFFFFFFFFu

// 3D: when a setting takes effect, and the defaults.
#define DS3D_IMMEDIATE 0x00000000
#define DS3D_DEFERRED 0x00000001
#define DS3D_DEFAULTDISTANCEFACTOR 1.0f
#define DS3D_DEFAULTDOPPLERFACTOR 1.0f
#define DS3D_DEFAULTMINDISTANCE 1.0f
#define DS3D_DEFAULTMAXDISTANCE 1000000000.0f

#define WAVE_FORMAT_PCM 1

#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
} WAVEFORMATEX;
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
typedef WAVEFORMATEX* LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;

typedef struct _DSCAPS {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwMinSecondarySampleRate;
    DWORD dwMaxSecondarySampleRate;
    DWORD dwPrimaryBuffers;
    DWORD dwMaxHwMixingAllBuffers;
    DWORD dwMaxHwMixingStaticBuffers;
    DWORD dwMaxHwMixingStreamingBuffers;
    DWORD dwFreeHwMixingAllBuffers;
    DWORD dwFreeHwMixingStaticBuffers;
    DWORD dwFreeHwMixingStreamingBuffers;
    DWORD dwMaxHw3DAllBuffers;
    DWORD dwMaxHw3DStaticBuffers;
    DWORD dwMaxHw3DStreamingBuffers;
    DWORD dwFreeHw3DAllBuffers;
    DWORD dwFreeHw3DStaticBuffers;
    DWORD dwFreeHw3DStreamingBuffers;
    DWORD dwTotalHwMemBytes;
    DWORD dwFreeHwMemBytes;
    DWORD dwMaxContigFreeHwMemBytes;
    DWORD dwUnlockTransferRateHwBuffers;
    DWORD dwPlayCpuOverheadSwBuffers;
    DWORD dwReserved1;
    DWORD dwReserved2;
} DSCAPS;
static_assert(sizeof(DSCAPS) == 96);

typedef struct _DSBUFFERDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwBufferBytes;
    DWORD dwReserved;
    LPWAVEFORMATEX lpwfxFormat;
    GUID guid3DAlgorithm;
} DSBUFFERDESC;
typedef const DSBUFFERDESC* LPCDSBUFFERDESC;

typedef struct _DSBPOSITIONNOTIFY {
    DWORD dwOffset;
    HANDLE hEventNotify;
} DSBPOSITIONNOTIFY;

extern const GUID IID_IDirectSound8;
extern const GUID IID_IDirectSoundBuffer;
extern const GUID IID_IDirectSound3DListener;
extern const GUID IID_IDirectSound3DBuffer;
extern const GUID IID_IDirectSoundNotify;

struct IDirectSoundBuffer : IUnknown {
    virtual HRESULT GetCurrentPosition(DWORD* playCursor, DWORD* writeCursor) = 0;
    // Null format: *sizeWritten gets the size needed.
    virtual HRESULT GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) = 0;
    virtual HRESULT GetVolume(LONG* volume) = 0;
    virtual HRESULT GetFrequency(DWORD* frequency) = 0;
    virtual HRESULT GetStatus(DWORD* status) = 0;
    // The region may wrap past the end: the rest then comes back as the second piece.
    virtual HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* audio1, DWORD* bytes1, LPVOID* audio2, DWORD* bytes2,
                         DWORD flags) = 0;
    virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
    virtual HRESULT SetCurrentPosition(DWORD position) = 0;
    virtual HRESULT SetFormat(LPCWAVEFORMATEX format) = 0;
    virtual HRESULT SetVolume(LONG volume) = 0;
    virtual HRESULT SetFrequency(DWORD frequency) = 0;
    virtual HRESULT Stop() = 0;
    // Bytes written to the locked pointers reach the buffer here.
    virtual HRESULT Unlock(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) = 0;
    virtual HRESULT Restore() = 0;
};
typedef IDirectSoundBuffer* LPDIRECTSOUNDBUFFER;

struct IDirectSound3DListener : IUnknown {
    virtual HRESULT SetPosition(FLOAT x, FLOAT y, FLOAT z, DWORD apply) = 0;
    virtual HRESULT SetVelocity(FLOAT x, FLOAT y, FLOAT z, DWORD apply) = 0;
    virtual HRESULT SetOrientation(FLOAT frontX, FLOAT frontY, FLOAT frontZ, FLOAT topX, FLOAT topY, FLOAT topZ,
                                   DWORD apply) = 0;
    virtual HRESULT SetDistanceFactor(FLOAT factor, DWORD apply) = 0;
    virtual HRESULT SetDopplerFactor(FLOAT factor, DWORD apply) = 0;
    // Applies every deferred setting of the listener and of the device's 3D buffers at once.
    virtual HRESULT CommitDeferredSettings() = 0;
};
typedef IDirectSound3DListener* LPDIRECTSOUND3DLISTENER;

struct IDirectSound3DBuffer : IUnknown {
    virtual HRESULT SetPosition(FLOAT x, FLOAT y, FLOAT z, DWORD apply) = 0;
    virtual HRESULT SetVelocity(FLOAT x, FLOAT y, FLOAT z, DWORD apply) = 0;
    virtual HRESULT SetMinDistance(FLOAT distance, DWORD apply) = 0;
    virtual HRESULT SetMaxDistance(FLOAT distance, DWORD apply) = 0;
};
typedef IDirectSound3DBuffer* LPDIRECTSOUND3DBUFFER;

struct IDirectSoundNotify : IUnknown {
    // Each event is set every time the play cursor passes its offset (DSBPN_OFFSETSTOP: when the
    // buffer stops). Only while the buffer is stopped; a count of 0 clears the positions.
    virtual HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) = 0;
};
typedef IDirectSoundNotify* LPDIRECTSOUNDNOTIFY;

struct IDirectSound8 : IUnknown {
    virtual HRESULT CreateSoundBuffer(LPCDSBUFFERDESC description, IDirectSoundBuffer** buffer,
                                      LPUNKNOWN outer) = 0;
    virtual HRESULT GetCaps(DSCAPS* caps) = 0;
    // The copy shares the original's sound data, with its own cursor, state and settings.
    virtual HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original, IDirectSoundBuffer** duplicate) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
};
typedef IDirectSound8* LPDIRECTSOUND8;

// Null device: the default output.
HRESULT DirectSoundCreate8(const GUID* device, IDirectSound8** directSound, LPUNKNOWN outer);
