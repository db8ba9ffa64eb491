#include "ai/AIMap.h"

#include <cstddef>
#include <new>

CAIMap::CAIMap() : d_pHeights(nullptr), d_width(0), d_height(0), d_cellSize(1), d_originX(0), d_originY(0) {}

CAIMap::~CAIMap() { destroy(); }

bool CAIMap::create(int32_t width, int32_t height, int32_t cellSize, int32_t originX, int32_t originY)
{
    destroy();
    if (width <= 0 || height <= 0 || cellSize <= 0 || static_cast<int64_t>(width) * height > (1 << 26)) return false;
    d_pHeights = new (std::nothrow) uint16_t[static_cast<size_t>(width) * height]();
    if (!d_pHeights) return false;
    d_width = width;
    d_height = height;
    d_cellSize = cellSize;
    d_originX = originX;
    d_originY = originY;
    return true;
}

void CAIMap::destroy()
{
    delete[] d_pHeights;
    d_pHeights = nullptr;
    d_width = d_height = 0;
}

bool CAIMap::setHeight(int32_t column, int32_t row, uint16_t height)
{
    if (!d_pHeights || column < 0 || row < 0 || column >= d_width || row >= d_height) return false;
    d_pHeights[static_cast<size_t>(row) * d_width + column] = height & 0x7FFF;
    return true;
}

uint16_t CAIMap::getHeightAt(int32_t x, int32_t y) const
{
    if (!d_pHeights) return 0;
    int64_t dx = static_cast<int64_t>(x) - d_originX, dy = static_cast<int64_t>(y) - d_originY;
    if (dx < 0 || dy < 0) return 0;
    int64_t column = dx / d_cellSize, row = dy / d_cellSize;
    if (column >= d_width || row >= d_height) return 0;
    return d_pHeights[row * d_width + column];
}
