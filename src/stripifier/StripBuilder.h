// The stripifier's working state for one mesh: faces with their neighbours, and the builds that
// walk them into strips. Stripify drives it; nothing else should need it.
#pragma once

#include "stripifier/Stripifier.h"

#include <cstddef>
#include <cstdint>
#include <vector>

const uint8_t NO_EDGE = 3;

struct StripFace {
    uint32_t v[3];
    int32_t nb[3];      // neighbour across edge k (vertices k and (k + 1) % 3), -1 for none
    uint8_t nbEdge[3];  // the neighbour's edge that faces back
    uint8_t numNb;
    uint8_t used;
    uint8_t stripStart;
    uint8_t noNeighbour;
    uint8_t flipped;
    uint8_t inEdge;   // edge shared with the previous face of its strip (NO_EDGE for none)
    uint8_t outEdge;  // edge shared with the next face of its strip
    uint32_t bucketPos;
};

class CStripBuilder {
public:
    CStripBuilder(StripifyCallback callback, void* pContext);

    // Makes the faces of widened indices and links them. Faces with two equal indices are dropped.
    void setFaces(uint32_t primitiveType, const std::vector<uint32_t>& indices);

    // One build from the current seed with the options' length limit; fills the options' statistics,
    // the face order and, unless a list is asked for, the joined strip. Returns the joined strip's
    // degenerate count (0 for a list).
    uint32_t build(StripifyOptions& options);

    void message(uint32_t code);
    bool stopRequested() const { return m_stop; }
    uint32_t seed() const { return m_seed; }
    void setSeed(uint32_t seed) { m_seed = seed; }

    // Faces as linked before any build, and the last build's faces and order.
    const std::vector<StripFace>& linkedFaces() const { return m_linked; }
    const std::vector<StripFace>& faces() const { return m_faces; }
    const std::vector<uint32_t>& order() const { return m_order; }
    const std::vector<uint32_t>& joined() const { return m_joined; }

private:
    void addFace(uint32_t a, uint32_t b, uint32_t c);
    void linkFaces();
    uint32_t takeStartFace();
    void chooseNext(uint32_t face, int32_t& next, uint8_t& nextEdge, int32_t& alternative) const;
    void useFace(uint32_t face, bool stripStart);
    void bucketAdd(uint32_t face);
    void bucketRemove(uint32_t face);
    void countStrip(StripifyOptions& options, uint32_t length);
    uint32_t joinStrips(std::vector<uint32_t>& indices);
    void progress();

    StripifyCallback m_callback;
    void* m_pContext;
    bool m_stop = false;
    uint32_t m_seed = STRIPIFY_START_SEED;

    // Read once per mesh.
    std::vector<StripFace> m_linked;
    bool m_hadDegenerate = false;
    bool m_hadFlipped = false;
    uint32_t m_numUnconnected = 0;
    uint32_t m_numFlipped = 0;

    // Per build.
    std::vector<StripFace> m_faces;
    std::vector<uint32_t> m_order;
    std::vector<uint32_t> m_joined;
    std::vector<uint32_t> m_queue;
    size_t m_queueHead = 0;
    std::vector<uint32_t> m_buckets[4];
    uint32_t m_reported = 0;
    uint32_t m_numUsed = 0;
    uint32_t m_lastProgress = 0;
};
