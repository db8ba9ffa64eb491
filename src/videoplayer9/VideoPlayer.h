// CVideoPlayer: how the front end plays intro, attract and mission videos, whichever way they are
// shown. It makes one player at a time, opens a file, drives it every frame (Update, Render,
// IsFinished, the position and volume) and deletes it. Two players exist: CVMR9Player, whose
// frames the Video Mixing Renderer 9 presents on DirectShow's streaming thread, and CVideoTexture,
// which draws a texture the video is copied into from the main thread.
#pragma once

#include "audio/AudioVolume.h"
#include "platform/win32.h"

#include <cstdint>
#include <initializer_list>

class CVideoPlayer {
public:
    virtual ~CVideoPlayer() = default;
    // The picture rectangle is in screen pixels. Volume as videoVolume takes it.
    virtual bool Open(HWND window, const char* fileName, uint8_t loop, float left, float top, float width,
                      float height, uint32_t volume, uint8_t startPaused) = 0;
    virtual bool Pause() = 0;
    virtual bool Play() = 0;
    virtual bool Stop() = 0;
    virtual void Close() = 0;
    virtual bool IsFinished() = 0;
    virtual int32_t GetPosition() = 0;  // milliseconds
    virtual void SetVolume(uint32_t volume) = 0;
    virtual int32_t GetDuration() = 0;  // milliseconds
    // While on, every shown frame also runs one step of the waiting front end, whose answer
    // GetFrontEndResult keeps (1 go on, 2 leave).
    virtual uint8_t SetFrontEndUpdate(uint8_t on) = 0;
    virtual int32_t GetFrontEndResult() = 0;
    // True while the video is still to be shown.
    virtual bool Update() = 0;
    virtual void Render() = 0;
};

// A video volume in DirectShow's hundredths of a decibel: v x 100 / 32768 as a linear volume, so
// every value from 328 up plays at full volume and 0 is silent.
inline int32_t videoVolume(uint32_t volume)
{
    return linearToDirectSoundVolume(static_cast<float>(volume) * 0.0030517578125f);
}

struct IGraphBuilder;
struct IMediaPosition;

// A step of building a player's graph failed: the message reported as a failed check; false.
bool videoOpenFailed(const char* message);
// Makes a player's filter graph; false, with "Failed to create filter graph" reported, without one.
bool videoNewGraph(IGraphBuilder** graph);
// A file name as the graph takes it: UTF-16 from the ANSI code page, at most MAX_PATH characters
// with its end; false when it does not convert.
bool videoWideName(const char* fileName, WCHAR (&path)[MAX_PATH]);
// One interface a player asks its graph for, and where it goes.
struct VideoGraphInterface {
    const GUID& iid;
    void** out;
};
// Asks the graph for each interface in turn: the index of the first it does not give, or -1.
int videoQueryGraph(IGraphBuilder* graph, std::initializer_list<VideoGraphInterface> wanted);
// The graph's times in milliseconds, truncated; 0 without the interface.
int32_t videoPosition(IMediaPosition* position);
int32_t videoDuration(IMediaPosition* position);
// Less than a millisecond of the video left (so also without the interface).
bool videoFinished(IMediaPosition* position);
