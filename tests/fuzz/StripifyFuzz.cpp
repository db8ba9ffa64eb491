// Strips any mesh, as a model file could describe it. The first 8 bytes choose the record's fields
// and the options; the rest are the indices. Vertex bytes repeat the input, so positions and normals
// can be anything, NaN included.
#include "FuzzSupport.h"

#include "platform/d3d9.h"
#include "stripifier/Stripifier.h"

#include <cstdlib>
#include <cstring>

namespace {

uint32_t indexAt(const MeshData& m, uint32_t i)
{
    if (m.IndexSize == 2) return static_cast<const uint16_t*>(m.pIndices)[i];
    return static_cast<const uint32_t*>(m.pIndices)[i];
}

void check(bool condition)
{
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    if (size < 8) return 0;
    static const uint32_t VERTEX_SIZES[5] = {0, 12, 16, 24, 104};
    static const uint32_t FORMATS[5] = {0, D3DFVF_XYZ, D3DFVF_XYZ | D3DFVF_NORMAL, D3DFVF_XYZB5 | D3DFVF_NORMAL,
                                        D3DFVF_XYZRHW};
    const uint8_t flags = data[2];

    MeshData in = {};
    in.PrimitiveType = data[0] % 4;
    in.IndexSize = data[1] % 5;
    in.NumVertices = data[4] | (data[5] & 0x0F) << 8;
    in.VertexSize = VERTEX_SIZES[data[6] % 5];
    in.FVF = FORMATS[(data[6] / 5) % 5];
    const size_t stride = in.IndexSize == 4 ? 4 : 2;
    in.NumIndices = static_cast<uint32_t>((size - 8) / stride);

    const size_t vertexBytes = size_t(in.NumVertices) * in.VertexSize;
    in.pVertices = vertexBytes ? malloc(vertexBytes) : nullptr;
    // The input over and over, a whole copy at a time (a byte loop here, instrumented, would cost
    // more than the stripping).
    for (size_t done = 0; done < vertexBytes; done += size)
        memcpy(static_cast<uint8_t*>(in.pVertices) + done, data, vertexBytes - done < size ? vertexBytes - done : size);
    in.pIndices = in.NumIndices ? malloc(size_t(in.NumIndices) * stride) : nullptr;
    if (in.pIndices) memcpy(in.pIndices, data + 8, size_t(in.NumIndices) * stride);
    void* const vertices = in.pVertices;
    void* const indices = in.pIndices;

    StripifyOptions options;
    options.FreeInput = flags >> 7;
    options.ReorderVertices = flags & 1;
    options.MakeOpenEdgeMesh = (flags >> 1) & 1;
    options.MakeNormalMesh = (flags >> 2) & 1;
    options.Keep32BitIndices = (flags >> 3) & 1;
    options.LengthMode = (flags >> 4) & 3;
    options.MaxLength = data[3] & 7;
    options.NumTries = 1 + (data[3] >> 3) % 4;
    options.OutputType = (data[7] & 3) == 3 ? 0 : data[7] & 3;

    MeshData out = {};
    const bool ok = Stripify(in, out, options);
    if (ok) {
        check(out.IndexSize == 2 || out.IndexSize == 4);
        check(out.NumIndices == 0 || out.pIndices);
        uint32_t drawn = 0;
        for (uint32_t i = 0; i < out.NumIndices; ++i)
            check(indexAt(out, i) < out.NumVertices);
        const bool strip = out.PrimitiveType == MESH_TRIANGLESTRIP;
        for (uint32_t i = 0; i + 2 < out.NumIndices; i += strip ? 1 : 3) {
            const uint32_t a = indexAt(out, i), b = indexAt(out, i + 1), c = indexAt(out, i + 2);
            if (a != b && b != c && a != c) ++drawn;
        }
        // Every face is drawn once: the statistics count faces and the degenerate joins apart.
        check(drawn == options.NumTriangles - options.NumDegenerates);
        if (!strip) check(out.NumIndices == 3 * drawn);
        for (const MeshData* lines : {&options.NormalMesh, &options.OpenEdgeMesh})
            for (uint32_t i = 0; i < lines->NumIndices; ++i)
                check(indexAt(*lines, i) < lines->NumVertices);
    } else {
        check(out.pIndices == nullptr && out.pVertices == nullptr);
    }
    if (ok && options.FreeInput) {
        check(!in.pVertices && !in.pIndices);
    } else {
        free(vertices);
        free(indices);
    }
    FreeMeshData(out);
    FreeMeshData(options.NormalMesh);
    FreeMeshData(options.OpenEdgeMesh);
    return 0;
}
