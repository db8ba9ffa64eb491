#include "ai/AIMap.h"

namespace {

CAIMap* g_pLevelAIMap = nullptr;

// A cell index must stay addressable after multiplying out.
const int MAX_MAP_CELLS_PER_SIDE = 1 << 15;

}  // namespace

CAIMap::CAIMap() : m_width(0), m_depth(0), m_cellSize(1) {}

bool CAIMap::setHeights(int width, int depth, int cellSize, const uint16_t* pHeights)
{
    m_width = 0;
    m_depth = 0;
    m_cellSize = 1;
    m_heights.clear();
    if (width <= 0 || depth <= 0 || cellSize <= 0 || !pHeights)
        return false;
    if (width > MAX_MAP_CELLS_PER_SIDE || depth > MAX_MAP_CELLS_PER_SIDE)
        return false;
    m_heights.resize(size_t(width) * size_t(depth));
    for (size_t i = 0; i < m_heights.size(); ++i)
        m_heights[i] = pHeights[i] & 0x7FFF;
    m_width = width;
    m_depth = depth;
    m_cellSize = cellSize;
    return true;
}

uint16_t CAIMap::getHeightAt(int x, int y) const
{
    if (x < 0 || y < 0)
        return 0;
    const int cx = x / m_cellSize;
    const int cy = y / m_cellSize;
    if (cx >= m_width || cy >= m_depth)
        return 0;
    return m_heights[size_t(cy) * size_t(m_width) + size_t(cx)];
}

CAIMap* getLevelAIMap()
{
    return g_pLevelAIMap;
}

void setLevelAIMap(CAIMap* pMap)
{
    g_pLevelAIMap = pMap;
}
