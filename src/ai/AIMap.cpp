#include "ai/AIMap.h"

#include "utility/VectorMath.h"

#include <cmath>
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
    d_shadows.clear();
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

bool CAIMap::getGroundHeight(float x, float y, float* pHeight, Vector3* pNormal) const
{
    *pHeight = 0.0f;
    if (!d_pHeights) return false;
    // In cells from the map's first corner; written so that NaN falls outside.
    const double cx = (static_cast<double>(x) - d_originX) / d_cellSize;
    const double cy = (static_cast<double>(y) - d_originY) / d_cellSize;
    if (!(cx >= 0.0 && cx < d_width && cy >= 0.0 && cy < d_height)) return false;
    const int32_t column = static_cast<int32_t>(cx), row = static_cast<int32_t>(cy);
    const int32_t nextColumn = column + 1 < d_width ? column + 1 : column;
    const int32_t nextRow = row + 1 < d_height ? row + 1 : row;
    const auto at = [this](int32_t c, int32_t r) {
        return static_cast<double>(d_pHeights[static_cast<size_t>(r) * d_width + c]);
    };
    const double h00 = at(column, row), h10 = at(nextColumn, row);
    const double h01 = at(column, nextRow), h11 = at(nextColumn, nextRow);
    const double u = cx - column, v = cy - row;
    *pHeight = static_cast<float>((1.0 - v) * ((1.0 - u) * h00 + u * h10) + v * ((1.0 - u) * h01 + u * h11));
    const double slopeX = ((1.0 - v) * (h10 - h00) + v * (h11 - h01)) / d_cellSize;
    const double slopeY = ((1.0 - u) * (h01 - h00) + u * (h11 - h10)) / d_cellSize;
    const double scale = 1.0 / std::sqrt(slopeX * slopeX + slopeY * slopeY + 1.0);
    pNormal->set(static_cast<float>(-slopeX * scale), static_cast<float>(-slopeY * scale), static_cast<float>(scale));
    return true;
}

bool CAIMap::cellAt(int32_t x, int32_t y, size_t* pIndex) const
{
    if (!d_pHeights) return false;
    const int64_t dx = static_cast<int64_t>(x) - d_originX, dy = static_cast<int64_t>(y) - d_originY;
    if (dx < 0 || dy < 0 || dx / d_cellSize >= d_width || dy / d_cellSize >= d_height) return false;
    *pIndex = static_cast<size_t>(dy / d_cellSize * d_width + dx / d_cellSize);
    return true;
}

bool CAIMap::setShadowHeight(int32_t column, int32_t row, uint16_t value)
{
    if (!d_pHeights || column < 0 || row < 0 || column >= d_width || row >= d_height) return false;
    d_shadows.resize(static_cast<size_t>(d_width) * d_height);
    d_shadows[static_cast<size_t>(row) * d_width + column] = value;
    return true;
}

uint16_t CAIMap::getShadowHeightAt(int32_t x, int32_t y) const
{
    size_t index = 0;
    return cellAt(x, y, &index) && index < d_shadows.size() ? d_shadows[index] : 0;
}
