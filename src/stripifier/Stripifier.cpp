#include "stripifier/Stripifier.h"

#include "platform/d3d9.h"
#include "stripifier/StripBuilder.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

const char StripifyMessages[STRIPIFY_NUM_MESSAGES][128] = {
    "Model contains flipped faces",
    "Model contains unconnected faces",
    "Model contains duplicate faces",
    "Model contains degenerate faces",
    "Model contains unused vertices",
    "Too many indices for 16-bit. Switching to 32-bit indices",
};

uint32_t StripifySeedStep(uint32_t seed)
{
    seed = seed * 38787u + 1437765122u;
    return (seed >> 4) ^ (seed * 8u);
}

void FreeMeshData(MeshData& mesh)
{
    free(mesh.pVertices);
    free(mesh.pIndices);
    mesh = MeshData{};
}

namespace {

const uint32_t BEST_UNSET = 1000000;
const uint32_t FVF_XYZW = 0x4002;
const uint32_t NORMAL_OFFSET_WITHOUT_FVF = 92;
const uint32_t WHITE = 0xFFFFFFFF;
const size_t LINE_VERTEX_SIZE = 16;

struct Float3 {
    float x, y, z;
};

Float3 readFloat3(const MeshData& mesh, uint32_t vertex, uint32_t offset)
{
    Float3 p;
    memcpy(&p, static_cast<const uint8_t*>(mesh.pVertices) + size_t(vertex) * mesh.VertexSize + offset, sizeof p);
    return p;
}

void writeColouredVertex(uint8_t* dest, const Float3& p, uint32_t colour)
{
    memcpy(dest, &p, sizeof p);
    memcpy(dest + sizeof p, &colour, sizeof colour);
}

void* copyOf(const void* data, size_t bytes)
{
    if (bytes == 0) return nullptr;
    void* copy = malloc(bytes);
    if (copy) memcpy(copy, data, bytes);
    return copy;
}

// Indices into malloc'd memory, 16-bit when asked.
void* packIndices(const std::vector<uint32_t>& indices, uint32_t indexSize)
{
    if (indices.empty()) return nullptr;
    if (indexSize == 4) return copyOf(indices.data(), indices.size() * 4);
    uint16_t* narrow = static_cast<uint16_t*>(malloc(indices.size() * 2));
    if (!narrow) return nullptr;
    for (size_t i = 0; i < indices.size(); ++i)
        narrow[i] = static_cast<uint16_t>(indices[i]);
    return narrow;
}

// A line list of 16-byte coloured vertices, indices 16-bit when they fit.
MeshData lineMesh(const std::vector<uint8_t>& vertices, const std::vector<uint32_t>& indices)
{
    MeshData mesh = {};
    mesh.PrimitiveType = MESH_LINELIST;
    mesh.NumVertices = static_cast<uint32_t>(vertices.size() / LINE_VERTEX_SIZE);
    mesh.VertexSize = LINE_VERTEX_SIZE;
    mesh.NumIndices = static_cast<uint32_t>(indices.size());
    mesh.FVF = STRIPIFY_DISPLAYLIST_FVF;
    mesh.pVertices = copyOf(vertices.data(), vertices.size());
    mesh.IndexSize = mesh.NumVertices <= 0x10000 ? 2 : 4;
    mesh.pIndices = packIndices(indices, mesh.IndexSize);
    return mesh;
}

uint32_t positionBytes(uint32_t fvf)
{
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: return 12;
    case D3DFVF_XYZRHW:
    case D3DFVF_XYZB1:
    case FVF_XYZW: return 16;
    case D3DFVF_XYZB2: return 20;
    case D3DFVF_XYZB3: return 24;
    case D3DFVF_XYZB4: return 28;
    case D3DFVF_XYZB5: return 32;
    default: return 0;
    }
}

// From each vertex's position to 20 units along its normal.
bool makeNormalMesh(const MeshData& in, MeshData& mesh)
{
    const bool hasNormal = in.FVF == 0 || (in.FVF & D3DFVF_NORMAL);
    const uint32_t offset = in.FVF == 0 ? NORMAL_OFFSET_WITHOUT_FVF : positionBytes(in.FVF);
    const uint32_t needed = hasNormal ? std::max(offset + 12, 12u) : 12;
    if (!VERIFY_MSG(in.VertexSize >= needed, "Vertices do not hold their normals: no normal mesh made")) return false;
    if (!VERIFY(in.NumVertices <= 0x7FFFFFFF)) return false;
    std::vector<uint8_t> vertices(size_t(in.NumVertices) * 2 * LINE_VERTEX_SIZE);
    std::vector<uint32_t> indices(size_t(in.NumVertices) * 2);
    for (uint32_t v = 0; v < in.NumVertices; ++v) {
        const Float3 p = readFloat3(in, v, 0);
        const Float3 n = hasNormal ? readFloat3(in, v, offset) : Float3{0, 0, 1};
        const Float3 tip = {p.x + 20.0f * n.x, p.y + 20.0f * n.y, p.z + 20.0f * n.z};
        writeColouredVertex(&vertices[size_t(v) * 2 * LINE_VERTEX_SIZE], p, WHITE);
        writeColouredVertex(&vertices[(size_t(v) * 2 + 1) * LINE_VERTEX_SIZE], tip, WHITE);
        indices[size_t(v) * 2] = v * 2;
        indices[size_t(v) * 2 + 1] = v * 2 + 1;
    }
    mesh = lineMesh(vertices, indices);
    return true;
}

// Every edge without a partner, lifted off its face a little so that it shows over the surface.
bool makeOpenEdgeMesh(const MeshData& in, const std::vector<StripFace>& faces, MeshData& mesh)
{
    if (!VERIFY_MSG(in.VertexSize >= 12, "Vertices hold no position: no open-edge mesh made")) return false;
    std::vector<uint8_t> vertices;
    std::vector<uint32_t> indices;
    for (const StripFace& f : faces) {
        if (f.numNb == 3) continue;
        const Float3 a = readFloat3(in, f.v[0], 0), b = readFloat3(in, f.v[1], 0), c = readFloat3(in, f.v[2], 0);
        const Float3 u = {b.x - a.x, b.y - a.y, b.z - a.z}, w = {c.x - a.x, c.y - a.y, c.z - a.z};
        Float3 n = {u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x};
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        const float scale = length > 0.0f && std::isfinite(length) ? 0.1f / length : 0.0f;
        n = {n.x * scale, n.y * scale, n.z * scale};
        for (int k = 0; k < 3; ++k) {
            if (f.nb[k] >= 0) continue;
            const uint32_t first = static_cast<uint32_t>(vertices.size() / LINE_VERTEX_SIZE);
            vertices.resize(vertices.size() + 2 * LINE_VERTEX_SIZE);
            for (int end = 0; end < 2; ++end) {
                const Float3 p = readFloat3(in, f.v[(k + end) % 3], 0);
                writeColouredVertex(&vertices[(first + end) * LINE_VERTEX_SIZE], Float3{p.x + n.x, p.y + n.y, p.z + n.z},
                                    WHITE);
            }
            indices.insert(indices.end(), {first, first + 1, first + 1, first});
        }
    }
    mesh = lineMesh(vertices, indices);
    return true;
}

// A triangle list with three vertices of its own per face, each strip in the next colour of a cycle
// and darkening along the strip.
void makeDisplayList(const MeshData& in, const std::vector<StripFace>& faces, const std::vector<uint32_t>& order,
                     std::vector<uint8_t>& vertices, std::vector<uint32_t>& indices)
{
    static const Float3 COLOURS[9] = {{1, 0, 0},      {0, 1, 0},      {0, 0, 1},      {1, 1, 0},     {1, 0, 1},
                                      {0, 1, 1},      {1, 0.5f, 0.5f}, {0.5f, 1, 0.5f}, {0.5f, 0.5f, 1}};
    vertices.assign(order.size() * 3 * LINE_VERTEX_SIZE, 0);
    indices.resize(order.size() * 3);
    Float3 colour = {};
    float step = 0.0f;
    int next = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        const StripFace& f = faces[order[i]];
        if (f.stripStart) {
            size_t length = 1;
            while (i + length < order.size() && !faces[order[i + length]].stripStart)
                ++length;
            const Float3& c = COLOURS[next];
            next = (next + 1) % 9;
            colour = {c.x * 2.0f / 3.0f, c.y * 2.0f / 3.0f, c.z * 2.0f / 3.0f};
            step = std::min(1.0f / (6.0f * static_cast<float>(length)), 0.015625f);
        }
        for (int k = 0; k < 3; ++k) {
            colour = {std::max(colour.x - step, 0.0f), std::max(colour.y - step, 0.0f), std::max(colour.z - step, 0.0f)};
            const uint32_t argb = 0xFF000000u | uint32_t(colour.x * 255.0f) << 16 | uint32_t(colour.y * 255.0f) << 8 |
                                  uint32_t(colour.z * 255.0f);
            const size_t vertex = i * 3 + k;
            writeColouredVertex(&vertices[vertex * LINE_VERTEX_SIZE], readFloat3(in, f.v[k], 0), argb);
            indices[vertex] = static_cast<uint32_t>(vertex);
        }
    }
}

// Renumbers vertices by first use; those no index uses keep their order after the rest.
void reorderVertices(std::vector<uint8_t>& vertices, uint32_t count, uint32_t vertexSize,
                     std::vector<uint32_t>& indices, CStripBuilder& builder)
{
    std::vector<uint32_t> renumber(count, UINT32_MAX);
    uint32_t next = 0;
    for (uint32_t index : indices)
        if (renumber[index] == UINT32_MAX) renumber[index] = next++;
    if (next < count) builder.message(STRIPIFY_UNUSED_VERTICES);
    for (uint32_t& slot : renumber)
        if (slot == UINT32_MAX) slot = next++;
    std::vector<uint8_t> moved(vertices.size());
    if (vertexSize)
        for (size_t v = 0; v < count; ++v)
            memcpy(&moved[size_t(renumber[v]) * vertexSize], &vertices[v * vertexSize], vertexSize);
    vertices.swap(moved);
    for (uint32_t& index : indices)
        index = renumber[index];
}

bool readIndices(const MeshData& in, std::vector<uint32_t>& indices)
{
    if (!VERIFY_MSG(in.IndexSize == 2 || in.IndexSize == 4, "Input indices are not a valid size")) return false;
    if (!VERIFY_MSG(in.NumIndices == 0 || in.pIndices, "Input has indices but no index array")) return false;
    indices.resize(in.NumIndices);
    if (in.IndexSize == 4) {
        if (in.NumIndices) memcpy(indices.data(), in.pIndices, size_t(in.NumIndices) * 4);
    } else {
        for (uint32_t i = 0; i < in.NumIndices; ++i) {
            uint16_t index;
            memcpy(&index, static_cast<const uint8_t*>(in.pIndices) + size_t(i) * 2, 2);
            indices[i] = index;
        }
    }
    // Indices come from model files: one past the vertices would send every later step astray.
    for (uint32_t index : indices)
        if (!VERIFY_MSG(index < in.NumVertices, "Input index beyond the vertex array")) return false;
    return true;
}

bool checkInput(const MeshData& in, const StripifyOptions& options)
{
    if (!VERIFY_MSG(in.PrimitiveType <= MESH_TRIANGLEFAN, "Input is not a triangle list, strip or fan")) return false;
    if (!VERIFY_MSG(options.OutputType <= STRIPIFY_OUTPUT_DISPLAYLIST, "Invalid output type")) return false;
    const size_t vertexBytes = size_t(in.NumVertices) * in.VertexSize;
    if (!VERIFY_MSG(vertexBytes == 0 || in.pVertices, "Input has vertices but no vertex array")) return false;
    if (options.OutputType == STRIPIFY_OUTPUT_DISPLAYLIST &&
        !VERIFY_MSG(in.VertexSize >= 12, "Vertices hold no position: no display list made"))
        return false;
    return true;
}

}  // namespace

bool Stripify(MeshData& in, MeshData& out, StripifyOptions& options, StripifyCallback callback, void* pContext)
{
    std::vector<uint32_t> inputIndices;
    if (!checkInput(in, options) || !readIndices(in, inputIndices)) return false;

    CStripBuilder builder(callback, pContext);
    builder.setFaces(in.PrimitiveType, inputIndices);
    inputIndices = std::vector<uint32_t>();

    // Seed search: each try goes on from the seed the last one ended with; the final build repeats
    // the best try from its starting seed.
    const StripifyOptions saved = options;
    if (saved.NumTries > 1) {
        uint32_t best = BEST_UNSET;
        uint32_t bestSeed = builder.seed();
        for (uint32_t t = 0; t < saved.NumTries; ++t) {
            if (t > 0 && builder.stopRequested()) break;
            options = saved;
            options.MakeOpenEdgeMesh = options.MakeNormalMesh = 0;
            const uint32_t startSeed = builder.seed();
            const uint32_t degenerates = builder.build(options);
            if (degenerates < best) {
                best = degenerates;
                bestSeed = startSeed;
            }
        }
        builder.setSeed(bestSeed);
        options = saved;
    }
    const uint32_t degenerates = builder.build(options);

    MeshData result = {};
    std::vector<uint8_t> vertices;
    std::vector<uint32_t> indices;
    if (options.OutputType == STRIPIFY_OUTPUT_DISPLAYLIST) {
        makeDisplayList(in, builder.faces(), builder.order(), vertices, indices);
        result.PrimitiveType = MESH_TRIANGLELIST;
        result.VertexSize = LINE_VERTEX_SIZE;
        result.FVF = STRIPIFY_DISPLAYLIST_FVF;
    } else {
        const uint8_t* source = static_cast<const uint8_t*>(in.pVertices);
        vertices.assign(source, source + size_t(in.NumVertices) * in.VertexSize);
        result.VertexSize = in.VertexSize;
        result.FVF = in.FVF;
        if (options.OutputType == STRIPIFY_OUTPUT_STRIP) {
            result.PrimitiveType = MESH_TRIANGLESTRIP;
            result.NumDegenerates = degenerates;
            indices = builder.joined();
        } else {
            result.PrimitiveType = MESH_TRIANGLELIST;
            indices.reserve(builder.order().size() * 3);
            for (uint32_t face : builder.order())
                indices.insert(indices.end(), builder.faces()[face].v, builder.faces()[face].v + 3);
        }
    }
    result.NumVertices = options.OutputType == STRIPIFY_OUTPUT_DISPLAYLIST ? static_cast<uint32_t>(indices.size())
                                                                            : in.NumVertices;
    if (options.ReorderVertices) reorderVertices(vertices, result.NumVertices, result.VertexSize, indices, builder);
    result.NumIndices = static_cast<uint32_t>(indices.size());
    result.IndexSize = 4;
    if (!options.Keep32BitIndices) {
        // Both the count and the values must fit: narrowing a large index would point elsewhere.
        const uint32_t largest = indices.empty() ? 0 : *std::max_element(indices.begin(), indices.end());
        if (indices.size() > 0x10000 || largest > 0xFFFF)
            builder.message(STRIPIFY_32BIT_INDICES);
        else
            result.IndexSize = 2;
    }

    if (options.MakeNormalMesh) makeNormalMesh(in, options.NormalMesh);
    if (options.MakeOpenEdgeMesh) makeOpenEdgeMesh(in, builder.linkedFaces(), options.OpenEdgeMesh);

    result.pVertices = copyOf(vertices.data(), vertices.size());
    result.pIndices = packIndices(indices, result.IndexSize);
    if (options.FreeInput) {
        free(in.pVertices);
        free(in.pIndices);
        in.pVertices = in.pIndices = nullptr;
    }
    out = result;
    return true;
}
