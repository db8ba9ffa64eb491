// The AI map's ground heights: one 15-bit height per square cell, read by integer world position.
// The world manager owns the map of the loaded level; physics only asks it for heights.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CAIMap {
public:
    CAIMap();

    // Replaces the heights: width x depth cells of cellSize world units, row by row (x fastest),
    // starting at the world origin. Heights keep their low 15 bits. False (map left empty) for a
    // non-positive size, a missing table or a map too large to address.
    bool setHeights(int width, int depth, int cellSize, const uint16_t* pHeights);

    // Height of the cell under (x, y); 0 outside the map.
    uint16_t getHeightAt(int x, int y) const;

private:
    int m_width;
    int m_depth;
    int m_cellSize;
    std::vector<uint16_t> m_heights;
};

// The AI map of the loaded level, or null when no level is loaded. Set by the world manager when
// a level's map is in place.
CAIMap* getLevelAIMap();
void setLevelAIMap(CAIMap* pMap);
