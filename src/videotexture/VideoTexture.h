// CVideoTexture: the video player for where the Video Mixing Renderer 9 is not. Its graph sends
// the pictures to CTextureRenderer, which copies each RGB24 frame into a texture on DirectShow's
// streaming thread; the main thread draws that texture every frame (Render) as a screen quad with
// the material "data\frontend\movie.mtl", and watches the graph's events (Update), looping the
// video when asked. Window, volume and start paused given to Open are not used: the graph runs
// at once, at the volume it has.
#pragma once

#include "platform/dshow.h"
#include "videoplayer9/VideoPlayer.h"

class CTextureRenderer;

class CVideoTexture : public CVideoPlayer {
public:
    // Loads the material (with "data\frontend\dummy.tga" as its texture) and takes the quad's
    // dynamic vertex buffer. halfSize: the texture holds every second pixel of every second row.
    explicit CVideoTexture(uint8_t halfSize);
    ~CVideoTexture() override;

    // False, with the failure reported, when the graph cannot be built or run.
    bool Open(HWND window, const char* fileName, uint8_t loop, float left, float top, float width, float height,
              uint32_t volume, uint8_t startPaused) override;
    bool Pause() override;
    bool Play() override;
    bool Stop() override;
    // Nothing: the graph lives until the player is deleted.
    void Close() override;
    // True once less than a millisecond is left, and without a graph.
    bool IsFinished() override;
    int32_t GetPosition() override;
    void SetVolume(uint32_t volume) override;
    int32_t GetDuration() override;
    uint8_t SetFrontEndUpdate(uint8_t on) override;
    int32_t GetFrontEndResult() override;
    // One graph event a call: the end of a looping video seeks back to the start; the end of
    // another makes the answer false.
    bool Update() override;
    // The texture on the quad as a whole frame, presented; nothing while the device is lost.
    void Render() override;

private:
    bool BuildGraph(const char* fileName);
    void ReleaseGraph();

    DWORD m_StateBlock = 0xFFFFFFFFu;
    int32_t m_DynamicVB = -1;
    CTextureRenderer* m_pTextureRenderer = nullptr;  // the graph holds it
    IGraphBuilder* m_pGraph = nullptr;
    IMediaControl* m_pMC = nullptr;
    IMediaPosition* m_pMP = nullptr;
    IMediaEvent* m_pME = nullptr;
    IBasicAudio* m_pBA = nullptr;
    int32_t m_Duration = 0;  // milliseconds
    uint8_t m_Loop = 0;
    uint8_t m_HalfSize;
    float m_Left = 0, m_Top = 0, m_Width = 0, m_Height = 0;
    int32_t m_FrontEndResult = 2;
    uint8_t m_FrontEndUpdate = 0;
};
