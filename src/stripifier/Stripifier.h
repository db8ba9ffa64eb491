// Turns an indexed triangle mesh (list, strip or fan) into one long triangle strip joined by
// degenerate triangles, or into a triangle list in strip order, and reports the mesh faults it meets
// on the way (flipped, unconnected, duplicate and degenerate faces). It can try several random seeds
// and keep the one that needs the fewest degenerate triangles, renumber the vertices by first use,
// and build line meshes of the vertex normals and of the open edges for debugging.
#pragma once

#include <cstdint>

// A mesh handed to or made by Stripify. Every array that Stripify makes (the output's and the debug
// meshes') comes from malloc; FreeMeshData frees both arrays of a record.
struct MeshData {
    uint32_t PrimitiveType;   // MESH_TRIANGLELIST ... MESH_LINELIST
    uint32_t NumVertices;
    uint32_t VertexSize;      // bytes per vertex; the position is the first three floats
    uint32_t NumIndices;
    uint32_t FVF;             // vertex format, passed through (0: none given)
    void* pVertices;
    uint32_t IndexSize;       // 2 or 4
    void* pIndices;
    uint32_t NumDegenerates;  // output: degenerate triangles that join the strips
};

enum {
    MESH_TRIANGLELIST = 0,
    MESH_TRIANGLESTRIP = 1,
    MESH_TRIANGLEFAN = 2,
    MESH_LINELIST = 3,
};

enum {
    STRIPIFY_LENGTH_UNLIMITED = 2,  // length mode that ignores the length limit
};

enum {
    STRIPIFY_OUTPUT_STRIP = 0,        // one strip joined by degenerate triangles
    STRIPIFY_OUTPUT_LIST = 1,         // triangle list in strip order
    STRIPIFY_OUTPUT_DISPLAYLIST = 2,  // coloured triangle list that shows the strips
};

const int MAX_STRIP_LENGTH_COUNTS = 20;
const uint32_t STRIPIFY_START_SEED = 0x7A98D9ED;
const uint32_t STRIPIFY_DISPLAYLIST_FVF = 66;  // position and diffuse colour, 16 bytes

struct StripifyOptions {
    uint8_t FreeInput = 0;           // free the input arrays when done
    uint32_t LengthMode = 3;         // STRIPIFY_LENGTH_UNLIMITED or any other value
    uint32_t MaxLength = 0;          // faces per strip at most; 0 is no limit
    uint32_t NumTries = 1;           // seeds tried; the one with the fewest degenerates is kept
    uint32_t OutputType = 3;         // STRIPIFY_OUTPUT_*; the default names none and fails
    uint8_t ReorderVertices = 0;     // renumber vertices in order of first use
    uint8_t MakeOpenEdgeMesh = 0;
    uint8_t MakeNormalMesh = 0;
    uint8_t Unused[3] = {1, 0, 0};

    // Statistics of the last build, written by Stripify.
    uint32_t StripLengthCounts[MAX_STRIP_LENGTH_COUNTS] = {};  // [i]: strips of i + 1 faces
    uint32_t NumLongStrips = 0;                                // strips longer than that
    uint32_t LongStripFaces = 0;                               // and their faces
    uint32_t NumStrips = 0;
    uint32_t NumTriangles = 0;        // faces plus degenerate triangles
    uint32_t NumUnconnectedFaces = 0;
    uint32_t NumFlippedFaces = 0;     // faces that met a neighbour of the same orientation
    uint32_t NumDegenerates = 0;

    // Line meshes made when asked; a record asked for is overwritten, so free an earlier one first.
    MeshData OpenEdgeMesh = {};
    MeshData NormalMesh = {};

    uint8_t Keep32BitIndices = 0;
};

enum {
    STRIPIFY_REPORT_MESSAGE = 0,
    STRIPIFY_REPORT_PROGRESS = 1,
};

// Message codes; 0 to 3 are sent at most once per build.
enum {
    STRIPIFY_FLIPPED_FACES = 0,
    STRIPIFY_UNCONNECTED_FACES = 1,
    STRIPIFY_DUPLICATE_FACES = 2,
    STRIPIFY_DEGENERATE_FACES = 3,
    STRIPIFY_UNUSED_VERTICES = 4,
    STRIPIFY_32BIT_INDICES = 5,
    STRIPIFY_NUM_MESSAGES
};
extern const char StripifyMessages[STRIPIFY_NUM_MESSAGES][128];

struct StripifyReport {
    uint32_t Type;      // STRIPIFY_REPORT_*
    uint32_t Code;      // message code (0 for progress)
    const char* pText;  // message text (null for progress)
    float Progress;     // share of the faces used so far, 0 to 1
    uint32_t Total;     // faces of the build
};

// Returns true to end a seed search after the current try.
typedef bool (*StripifyCallback)(const StripifyReport& report, void* pContext);

// Strips `in` into `out` (which may be `in` itself). Returns false, writing nothing, when the input
// cannot be read: an index size other than 2 or 4, an unknown primitive type or output type, an index
// at or above the vertex count, missing arrays, or a display list from vertices without a position.
// The output holds copies of the vertices (or display-list vertices of its own) and indices that
// are 16-bit when there are at most 65536 of them and none is above 0xFFFF.
bool Stripify(MeshData& in, MeshData& out, StripifyOptions& options, StripifyCallback callback = nullptr,
              void* pContext = nullptr);

// Frees both arrays of a record and empties it.
void FreeMeshData(MeshData& mesh);

// One step of the start-face chooser's generator.
uint32_t StripifySeedStep(uint32_t seed);
