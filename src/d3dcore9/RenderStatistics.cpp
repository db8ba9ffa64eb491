// D3DCore: the frame statistics, averaged over windows of just over a second, and their overlay.
#include "d3dcore9/D3DCore.h"

#include "utility/Assert.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Room for any int with its separators, so a count past a billion cannot overflow the buffer.
char numberBuffer[32];

const char* padded(int written)
{
    const size_t length = static_cast<size_t>(std::max(written, 0));
    for (size_t i = length; i < 11; ++i) numberBuffer[i] = ' ';
    numberBuffer[std::max<size_t>(length, 11)] = 0;
    ASSERT(strlen(numberBuffer) == 11);
    return numberBuffer;
}

int32_t perFrame(int64_t sum, int64_t divisor) { return static_cast<int32_t>(sum / divisor); }

}  // namespace

const char* FormatCount(int32_t n)
{
    int written;
    if (n >= 1000000)
        written = snprintf(numberBuffer, sizeof numberBuffer, "%d,%03d,%03d", n / 1000000, n / 1000 % 1000, n % 1000);
    else if (n >= 1000)
        written = snprintf(numberBuffer, sizeof numberBuffer, "%d,%03d", n / 1000, n % 1000);
    else
        written = snprintf(numberBuffer, sizeof numberBuffer, "%d", n);
    return padded(written);
}

const char* FormatThousandths(float x)
{
    // In float, as the figures are kept: 0.005 reads 0.005 (in double it would be 0.004). Clamped so
    // that the thousandths fit an int.
    const float product = std::clamp(x, 0.0f, 2000000.0f) * 1000.0f;
    const int32_t n = static_cast<int32_t>(product);
    int written;
    if (n >= 1000000)
        written = snprintf(numberBuffer, sizeof numberBuffer, "%d,%03d.%03d", n / 1000000, n / 1000 % 1000, n % 1000);
    else if (n >= 1000)
        written = snprintf(numberBuffer, sizeof numberBuffer, "%d.%03d", n / 1000, n % 1000);
    else
        written = snprintf(numberBuffer, sizeof numberBuffer, "0.%03d", n);
    return padded(written);
}

void D3DCore::CountDraw(D3DPRIMITIVETYPE type, uint32_t primitives, uint32_t vertices, uint32_t degenerate)
{
    ++Counts.DrawCalls;
    switch (type) {
    case D3DPT_TRIANGLELIST: Counts.ListTriangles += primitives; break;
    case D3DPT_TRIANGLESTRIP: Counts.StripTriangles += primitives; break;
    case D3DPT_TRIANGLEFAN: Counts.FanTriangles += primitives; break;
    default: return;  // lines and points are no triangles
    }
    Counts.Triangles += primitives;
    Counts.Vertices += vertices;
    Counts.DegenerateTriangles += degenerate;
}

void D3DCore::UpdateFrameStatistics(FrameStatistics& out)
{
    StatisticsWindow& w = StatsWindow;
    if (!FrameCounted) {
        ++w.Frames;
        FrameCounted = 1;
    }
    w.DrawCalls += Counts.DrawCalls;
    w.Triangles += Counts.Triangles;
    w.Degenerate += Counts.DegenerateTriangles;
    w.Vertices += Counts.Vertices;
    w.ListTriangles += Counts.ListTriangles;
    w.StripTriangles += Counts.StripTriangles;
    w.FanTriangles += Counts.FanTriangles;
    w.StateSets += StateChanges;
    w.FVFChanges += Counts.FVFChanges;
    w.WorldMatrixSets += WorldMatrixChanges;
    w.StreamChanges += Counts.StreamChanges;

    const uint32_t now = timeGetTime();
    const uint32_t elapsed = now - w.Start;
    if (elapsed > 1000) {
        FrameStatistics& r = LastStatistics;
        r.FPS = static_cast<float>(w.Frames) * 1000.0f / static_cast<float>(elapsed);
        r.TPS = static_cast<int32_t>(static_cast<double>(w.Triangles) * 1000.0 / elapsed);
        r.NonDegenerateTPS = static_cast<int32_t>(static_cast<double>(w.Triangles - w.Degenerate) * 1000.0 / elapsed);
        w.Start = now;
        const int64_t frames = std::max<int64_t>(w.Frames, 1), calls = std::max<int64_t>(w.DrawCalls, 1);
        r.TPF = perFrame(w.Triangles, frames);
        r.DegeneratePF = perFrame(w.Degenerate, frames);
        r.LTPF = perFrame(w.ListTriangles, frames);
        r.STPF = perFrame(w.StripTriangles, frames);
        r.FTPF = perFrame(w.FanTriangles, frames);
        r.NonDegenerateSTPF = perFrame(w.StripTriangles - w.Degenerate, frames);
        r.TPC = perFrame(w.Triangles, calls);
        r.NonDegenerateTPC = perFrame(w.Triangles - w.Degenerate, calls);
        r.VPT = w.Triangles ? static_cast<float>(w.Vertices) / static_cast<float>(w.Triangles) : 0.0f;
        r.StateSetsPF = perFrame(w.StateSets, frames);
        r.FVFChangesPF = perFrame(w.FVFChanges, frames);
        r.WorldMatrixSetsPF = perFrame(w.WorldMatrixSets, frames);
        r.StreamChangesPF = perFrame(w.StreamChanges, frames);
        LastFPS = r.FPS;
        const uint32_t start = w.Start;
        w = StatisticsWindow();
        w.Start = start;
    }
    out = LastStatistics;
}

void D3DCore::DrawStatistics()
{
    FrameStatistics s;
    UpdateFrameStatistics(s);
    char text[256], first[16];
    // "<count> [<count>" at x, closed by "] <what>" at 102.
    auto pair = [&](float y, int32_t a, int32_t b, const char* what) {
        snprintf(first, sizeof first, "%s", FormatCount(a));
        snprintf(text, sizeof text, "%s [%s", first, FormatCount(b));
        DebugPrint(text, 10, y);
        snprintf(text, sizeof text, "] %s", what);
        DebugPrint(text, 102, y);
    };
    snprintf(text, sizeof text, "%s FPS", FormatThousandths(s.FPS));
    DebugPrint(text, 10, 10);
    pair(20, s.TPS, s.NonDegenerateTPS, "TPS");
    if (ShortStatistics) return;

    const float right = static_cast<float>(GetScreenWidth()) - 72.0f;
    const int32_t depth = CurrentModeType ? CurrentModeType->Depth : 0;
    snprintf(text, sizeof text, "%d x %d x %d", GetScreenWidth(), GetScreenHeight(), depth);
    DebugPrint(text, right, 10);
    const DXZBuffer* z = ActualZFormat ? ActualZFormat : CurrentZBuffer;
    const char* buffer = WBufferInUse ? "W-Buffer" : "Z-Buffer";
    if (z && z->StencilBits > 0)
        snprintf(text, sizeof text, "%s: %d + %d", buffer, z->DepthBits, z->StencilBits);
    else
        snprintf(text, sizeof text, "%s: %d", buffer, z ? z->DepthBits : 0);
    DebugPrint(text, right, 20);
    DebugPrint(CurrentDevice && CurrentDevice->WFog ? "PixelFog: W" : "PixelFog: Z", right, 30);
    const char* processing = nullptr;
    switch (VertexProcessing & 0xF0) {
    case 0x50: processing = "HW PureDevice"; break;
    case 0x40: processing = "HW V-Processing"; break;
    case 0x20: processing = "SW V-Processing"; break;
    case 0x80: processing = "Mixed V-Processing"; break;
    default: assertFailed("false", __FILE__, __LINE__); break;
    }
    if (processing) DebugPrint(processing, right, 40);
    // Materials always reach the device through their recorded state blocks.
    DebugPrint("StateBlk: On", right, 50);

    if (CurrentAdapter && CurrentAdapter->Description) DebugPrint(CurrentAdapter->Description, 160, 10);
    if (CurrentDevice) {
        const char* kind = CurrentDevice->DeviceType == D3DDEVTYPE_HAL   ? "HAL: "
                           : CurrentDevice->DeviceType == D3DDEVTYPE_REF ? "REF: "
                                                                         : "SW:  ";
        snprintf(text, sizeof text, "%s%s %d Texture [%d Stage]", kind,
                 CurrentAdapter && CurrentAdapter->Driver ? CurrentAdapter->Driver : "",
                 static_cast<int>(CurrentDevice->MaxSimultaneousTextures),
                 static_cast<int>(CurrentDevice->MaxTextureBlendStages));
        DebugPrint(text, 160, 20);
    }

    pair(30, s.TPF, s.TPF - s.DegeneratePF, "TPF");
    pair(40, s.TPC, s.NonDegenerateTPC, "TPC");
    snprintf(text, sizeof text, "%s LTPF", FormatCount(s.LTPF));
    DebugPrint(text, 10, 50);
    pair(60, s.STPF, s.NonDegenerateSTPF, "STPF");
    snprintf(text, sizeof text, "%s FTPF", FormatCount(s.FTPF));
    DebugPrint(text, 10, 70);
    snprintf(text, sizeof text, "%s %2d%%  DEGENPF", FormatCount(s.DegeneratePF),
             s.TPF ? static_cast<int>(static_cast<int64_t>(s.DegeneratePF) * 100 / s.TPF) : 0);
    DebugPrint(text, 10, 80);

    snprintf(text, sizeof text, "%3d RPF", s.StateSetsPF);
    DebugPrint(text, 128, 50);
    snprintf(text, sizeof text, "%3d FPF", s.FVFChangesPF);
    DebugPrint(text, 128, 60);
    snprintf(text, sizeof text, "%3d WPF", s.WorldMatrixSetsPF);
    DebugPrint(text, 128, 70);
    snprintf(text, sizeof text, "%2.2f VPT", static_cast<double>(s.VPT));
    DebugPrint(text, 124, 80);
    snprintf(text, sizeof text, "%3d SPF", s.StreamChangesPF);
    DebugPrint(text, 128, 90);
}
