#include "stripifier/StripBuilder.h"

#include "utility/Assert.h"

#include <algorithm>
#include <cstring>

namespace {

struct Edge {
    uint64_t key;  // smaller vertex in the low word, larger in the high word
    uint32_t face;
    uint8_t k;
    uint8_t reversed;  // vertex k is the larger one
};

// Stable byte-wise radix sort, low byte first; passes in which every key has the same byte are skipped.
// Every byte's counts come from one walk over the keys: a pass that is skipped costs nothing.
void radixSort(std::vector<Edge>& edges)
{
    if (edges.empty()) return;
    std::vector<uint32_t> counts(8 * 256);
    for (const Edge& e : edges)
        for (int byte = 0; byte < 8; ++byte) ++counts[byte * 256 + ((e.key >> (byte * 8)) & 0xFF)];
    std::vector<Edge> other(edges.size());
    for (int byte = 0; byte < 8; ++byte) {
        const int shift = byte * 8;
        uint32_t* count = &counts[byte * 256];
        if (count[(edges[0].key >> shift) & 0xFF] == edges.size()) continue;
        uint32_t start = 0;
        for (int c = 0; c < 256; ++c) {
            const uint32_t n = count[c];
            count[c] = start;
            start += n;
        }
        for (const Edge& e : edges)
            other[count[(e.key >> shift) & 0xFF]++] = e;
        edges.swap(other);
    }
}

bool sameVertices(const StripFace& a, const StripFace& b)
{
    for (uint32_t v : a.v)
        if (v != b.v[0] && v != b.v[1] && v != b.v[2]) return false;
    return true;
}

}  // namespace

CStripBuilder::CStripBuilder(StripifyCallback callback, void* pContext) : m_callback(callback), m_pContext(pContext)
{
}

void CStripBuilder::message(uint32_t code)
{
    if (code <= STRIPIFY_DEGENERATE_FACES) {
        if (m_reported & (1u << code)) return;
        m_reported |= 1u << code;
    }
    if (!m_callback) return;
    const StripifyReport report = {STRIPIFY_REPORT_MESSAGE, code, StripifyMessages[code], 0.0f,
                                   static_cast<uint32_t>(m_faces.size())};
    if (m_callback(report, m_pContext)) m_stop = true;
}

void CStripBuilder::progress()
{
    if (!m_callback) return;
    const uint32_t total = static_cast<uint32_t>(m_faces.size());
    const uint32_t step = total / 100 < 101 ? 100 : total / 100;
    if (m_numUsed - m_lastProgress <= step && m_numUsed != total) return;
    m_lastProgress = m_numUsed;
    const StripifyReport report = {STRIPIFY_REPORT_PROGRESS, 0, nullptr,
                                   static_cast<float>(m_numUsed) / static_cast<float>(total), total};
    if (m_callback(report, m_pContext)) m_stop = true;
}

void CStripBuilder::addFace(uint32_t a, uint32_t b, uint32_t c)
{
    // A face with two equal corners covers nothing and would be its own neighbour.
    if (a == b || b == c || a == c) {
        m_hadDegenerate = true;
        return;
    }
    StripFace f = {};
    f.v[0] = a;
    f.v[1] = b;
    f.v[2] = c;
    f.nb[0] = f.nb[1] = f.nb[2] = -1;
    f.inEdge = f.outEdge = NO_EDGE;
    m_linked.push_back(f);
}

void CStripBuilder::setFaces(uint32_t primitiveType, const std::vector<uint32_t>& indices)
{
    m_linked.clear();
    const size_t n = indices.size();
    if (primitiveType == MESH_TRIANGLELIST) {
        m_linked.reserve(n / 3);
        for (size_t i = 0; i + 3 <= n; i += 3)
            addFace(indices[i], indices[i + 1], indices[i + 2]);
    } else if (primitiveType == MESH_TRIANGLESTRIP) {
        m_linked.reserve(n);
        for (size_t i = 0; i + 3 <= n; ++i) {
            if (i & 1)
                addFace(indices[i + 1], indices[i], indices[i + 2]);
            else
                addFace(indices[i], indices[i + 1], indices[i + 2]);
        }
    } else {
        ASSERT_MSG(false, "WHY ARE YOU USING FANS????");
        m_linked.reserve(n);
        for (size_t i = 0; i + 3 <= n; ++i)
            addFace(indices[0], indices[i + 1], indices[i + 2]);
    }
    linkFaces();
}

void CStripBuilder::linkFaces()
{
    m_numUnconnected = m_numFlipped = 0;
    if (m_linked.empty()) return;
    std::vector<Edge> edges;
    edges.reserve(m_linked.size() * 3);
    for (uint32_t f = 0; f < m_linked.size(); ++f) {
        for (uint8_t k = 0; k < 3; ++k) {
            const uint32_t a = m_linked[f].v[k];
            const uint32_t b = m_linked[f].v[(k + 1) % 3];
            const uint64_t lo = std::min(a, b), hi = std::max(a, b);
            edges.push_back(Edge{lo | hi << 32, f, k, static_cast<uint8_t>(a > b)});
        }
    }
    radixSort(edges);

    for (size_t i = 0; i + 1 < edges.size();) {
        const Edge& e1 = edges[i];
        const Edge& e2 = edges[i + 1];
        if (e1.key != e2.key) {
            ++i;
            continue;
        }
        StripFace& f1 = m_linked[e1.face];
        StripFace& f2 = m_linked[e2.face];
        if (e1.reversed != e2.reversed) {
            f1.nb[e1.k] = static_cast<int32_t>(e2.face);
            f1.nbEdge[e1.k] = e2.k;
            ++f1.numNb;
            f2.nb[e2.k] = static_cast<int32_t>(e1.face);
            f2.nbEdge[e2.k] = e1.k;
            ++f2.numNb;
            i += 2;
            continue;
        }
        m_hadFlipped = true;
        for (StripFace* f : {&f1, &f2}) {
            if (!f->flipped) ++m_numFlipped;
            f->flipped = 1;
        }
        ++i;
    }
    for (StripFace& f : m_linked) {
        if (f.numNb) continue;
        f.noNeighbour = 1;
        ++m_numUnconnected;
    }
}

void CStripBuilder::bucketAdd(uint32_t face)
{
    std::vector<uint32_t>& bucket = m_buckets[m_faces[face].numNb];
    m_faces[face].bucketPos = static_cast<uint32_t>(bucket.size());
    bucket.push_back(face);
}

void CStripBuilder::bucketRemove(uint32_t face)
{
    std::vector<uint32_t>& bucket = m_buckets[m_faces[face].numNb];
    const uint32_t pos = m_faces[face].bucketPos;
    bucket[pos] = bucket.back();
    m_faces[bucket[pos]].bucketPos = pos;
    bucket.pop_back();
}

uint32_t CStripBuilder::takeStartFace()
{
    // The first waiting alternative that is still free; the rest of the queue is stale.
    while (m_queueHead < m_queue.size()) {
        const uint32_t face = m_queue[m_queueHead++];
        if (m_faces[face].used) continue;
        m_queue.clear();
        m_queueHead = 0;
        return face;
    }
    m_queue.clear();
    m_queueHead = 0;
    // Faces at the rim of what is left first: they start strips that do not cut the mesh in two.
    static const int BUCKET_ORDER[4] = {1, 2, 3, 0};
    for (int b : BUCKET_ORDER) {
        const std::vector<uint32_t>& bucket = m_buckets[b];
        if (bucket.empty()) continue;
        m_seed = StripifySeedStep(m_seed);
        return bucket[(static_cast<uint64_t>(bucket.size()) * (m_seed >> 16)) >> 16];
    }
    return 0;  // not reached while a face is unused
}

void CStripBuilder::chooseNext(uint32_t face, int32_t& next, uint8_t& nextEdge, int32_t& alternative) const
{
    const StripFace& f = m_faces[face];
    next = alternative = -1;
    nextEdge = NO_EDGE;
    if (f.numNb == 3) {
        nextEdge = 1;
        alternative = f.nb[0];
    } else if (f.numNb == 2) {
        const uint8_t e = f.nb[0] < 0 ? 0 : f.nb[1] < 0 ? 1 : 2;
        nextEdge = (e + 2) % 3;
        alternative = f.nb[(e + 1) % 3];
    } else if (f.numNb == 1) {
        nextEdge = f.nb[0] >= 0 ? 0 : f.nb[1] >= 0 ? 1 : 2;
    }
    if (nextEdge != NO_EDGE) next = f.nb[nextEdge];
}

void CStripBuilder::useFace(uint32_t face, bool stripStart)
{
    StripFace& f = m_faces[face];
    bucketRemove(face);
    for (int k = 0; k < 3; ++k) {
        if (f.nb[k] < 0) continue;
        const uint32_t n = static_cast<uint32_t>(f.nb[k]);
        bucketRemove(n);
        m_faces[n].nb[f.nbEdge[k]] = -1;
        --m_faces[n].numNb;
        bucketAdd(n);
        f.nb[k] = -1;
    }
    f.numNb = 0;
    f.used = 1;
    f.stripStart = stripStart;
    m_order.push_back(face);
    ++m_numUsed;
    progress();
}

void CStripBuilder::countStrip(StripifyOptions& options, uint32_t length)
{
    ++options.NumStrips;
    if (length <= MAX_STRIP_LENGTH_COUNTS) {
        ++options.StripLengthCounts[length - 1];
    } else {
        ++options.NumLongStrips;
        options.LongStripFaces += length;
    }
}

uint32_t CStripBuilder::build(StripifyOptions& options)
{
    m_faces = m_linked;
    const uint32_t numFaces = static_cast<uint32_t>(m_faces.size());
    m_order.clear();
    m_order.reserve(numFaces);
    m_queue.clear();
    m_queueHead = 0;
    for (std::vector<uint32_t>& bucket : m_buckets)
        bucket.clear();
    for (uint32_t f = 0; f < numFaces; ++f)
        bucketAdd(f);
    m_reported = 0;
    m_numUsed = m_lastProgress = 0;

    memset(options.StripLengthCounts, 0, sizeof options.StripLengthCounts);
    options.NumLongStrips = options.LongStripFaces = options.NumStrips = 0;
    options.NumTriangles = numFaces;
    options.NumUnconnectedFaces = m_numUnconnected;
    options.NumFlippedFaces = m_numFlipped;
    options.NumDegenerates = 0;
    if (m_hadDegenerate) message(STRIPIFY_DEGENERATE_FACES);
    if (m_hadFlipped) message(STRIPIFY_FLIPPED_FACES);

    // A limit of 0 would end every strip at its first face: it means no limit in every mode.
    const bool limited = options.LengthMode != STRIPIFY_LENGTH_UNLIMITED && options.MaxLength != 0;
    while (m_numUsed < numFaces) {
        uint32_t face = takeStartFace();
        int32_t next, alternative;
        uint8_t nextEdge;
        chooseNext(face, next, nextEdge, alternative);
        if (m_faces[face].noNeighbour) message(STRIPIFY_UNCONNECTED_FACES);
        useFace(face, true);
        uint32_t length = 1;
        while (next >= 0) {
            if (limited && length >= options.MaxLength) break;
            if (alternative >= 0) m_queue.push_back(static_cast<uint32_t>(alternative));
            StripFace& from = m_faces[face];
            from.outEdge = nextEdge;
            m_faces[next].inEdge = from.nbEdge[nextEdge];
            face = static_cast<uint32_t>(next);
            chooseNext(face, next, nextEdge, alternative);
            useFace(face, false);
            ++length;
        }
        countStrip(options, length);
    }

    if (options.OutputType == STRIPIFY_OUTPUT_LIST) return 0;
    const uint32_t degenerates = joinStrips(m_joined);
    options.NumDegenerates = degenerates;
    options.NumTriangles += degenerates;
    return degenerates;
}

uint32_t CStripBuilder::joinStrips(std::vector<uint32_t>& out)
{
    // Every second strip runs backwards, so that its end lies near where the previous one ended.
    struct Step {
        uint32_t face;
        uint8_t prevEdge, nextEdge;
        bool start;
    };
    const size_t n = m_order.size();
    std::vector<Step> walk(n);
    for (size_t first = 0, strip = 0; first < n; ++strip) {
        size_t end = first + 1;
        while (end < n && !m_faces[m_order[end]].stripStart)
            ++end;
        for (size_t i = first; i < end; ++i) {
            const bool reversed = strip & 1;
            const StripFace& f = m_faces[m_order[reversed ? end - 1 - (i - first) : i]];
            walk[i] = Step{static_cast<uint32_t>(&f - m_faces.data()), reversed ? f.outEdge : f.inEdge,
                           reversed ? f.inEdge : f.outEdge, i == first};
        }
        first = end;
    }

    out.clear();
    out.reserve(n + n / 2 + 8);
    uint32_t degenerates = 0;
    int parity = 0;
    int e = 0;
    for (size_t i = 0; i < n; ++i) {
        const StripFace& f = m_faces[walk[i].face];
        if (walk[i].start) {
            const bool alone = i + 1 == n || walk[i + 1].start;
            const int m = walk[i].nextEdge;
            const uint32_t first = alone ? f.v[0] : f.v[(m + 2) % 3];
            if (i > 0) {
                const uint32_t last = out.back();
                out.push_back(last);
                out.push_back(first);
                degenerates += 4;
            }
            if (alone) {
                out.insert(out.end(), {f.v[0], parity ? f.v[2] : f.v[1], parity ? f.v[1] : f.v[2]});
                e = 1;
            } else if (parity == 0) {
                out.insert(out.end(), {f.v[(m + 2) % 3], f.v[m], f.v[(m + 1) % 3]});
                e = m;
            } else {
                out.insert(out.end(), {f.v[(m + 2) % 3], f.v[(m + 1) % 3], f.v[m]});
                e = (m + 2) % 3;
            }
            parity ^= 1;
            continue;
        }
        const StripFace& p = m_faces[walk[i - 1].face];
        if (sameVertices(p, f)) message(STRIPIFY_DUPLICATE_FACES);
        const int shared = walk[i - 1].nextEdge;
        const int k = walk[i].prevEdge;
        if (shared == (parity == 0 ? (e + 1) % 3 : e)) {
            parity ^= 1;
        } else {
            // The strip leaves by the other edge: repeat the third-last index so that the last two
            // indices span it; the parity ends where it was.
            const uint32_t third = out[out.size() - 3];
            out.insert(out.end() - 1, third);
            ++degenerates;
        }
        out.push_back(f.v[(k + 2) % 3]);
        e = (k + 1) % 3;
    }
    return degenerates;
}
