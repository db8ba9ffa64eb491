// The render core's per-frame counts (FrameCounts) averaged over windows of about a second, and
// the two number formats of the statistics overlay (D3DCore::DrawStatistics).
#pragma once

#include <cstdint>

// The running window: sums since it started (timeGetTime, ms), and the last results.
struct StatisticsWindow {
    int64_t Frames = 0, DrawCalls = 0, Triangles = 0, Degenerate = 0, Vertices = 0;
    int64_t ListTriangles = 0, StripTriangles = 0, FanTriangles = 0;
    int64_t StateSets = 0, FVFChanges = 0, WorldMatrixSets = 0, StreamChanges = 0;
    uint32_t Start = 0;  // the first window runs from the clock's origin
};

struct FrameStatistics {
    float FPS = 0;
    int32_t TPS = 0;  // triangles per second
    int32_t TPF = 0;  // triangles per frame
    int32_t LTPF = 0, STPF = 0, FTPF = 0;  // list, strip and fan triangles per frame
    int32_t NonDegenerateSTPF = 0;
    int32_t TPC = 0;  // triangles per draw call
    int32_t StateSetsPF = 0, FVFChangesPF = 0, DegeneratePF = 0, WorldMatrixSetsPF = 0, StreamChangesPF = 0;
    float VPT = 0;  // vertices per triangle
    int32_t NonDegenerateTPS = 0;
    int32_t NonDegenerateTPC = 0;
};

// "1,234,567", "12,345" or "5", padded with blanks to 11 characters. One static buffer, overwritten
// by the next call.
const char* FormatCount(int32_t n);
// Thousandths: "1,234.567", "59.940" or "0.005", padded to 11 characters; one static buffer.
const char* FormatThousandths(float x);
