#include "ai/AIMap.h"

#include "utility/VectorMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <new>

CAIMap::CAIMap() : d_pHeights(nullptr), d_pDiagonals(nullptr), d_width(0), d_height(0), d_cellSize(1), d_originX(0), d_originY(0) {}

CAIMap::~CAIMap() { destroy(); }

bool CAIMap::create(int32_t width, int32_t height, int32_t cellSize, int32_t originX, int32_t originY)
{
    destroy();
    if (width <= 0 || height <= 0 || cellSize <= 0 || static_cast<int64_t>(width) * height > (1 << 26)) return false;
    d_pHeights = new (std::nothrow) uint16_t[static_cast<size_t>(width) * height]();
    d_pDiagonals = new (std::nothrow) uint8_t[static_cast<size_t>(width) * height]();
    if (!d_pHeights || !d_pDiagonals) {
        destroy();
        return false;
    }
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
    delete[] d_pDiagonals;
    d_pDiagonals = nullptr;
    d_width = d_height = 0;
}

bool CAIMap::setHeight(int32_t column, int32_t row, uint16_t height)
{
    if (!d_pHeights || column < 0 || row < 0 || column >= d_width || row >= d_height) return false;
    d_pHeights[static_cast<size_t>(row) * d_width + column] = height & 0x7FFF;
    return true;
}

bool CAIMap::setDiagonal(int32_t column, int32_t row, bool other)
{
    if (!d_pHeights || column < 0 || row < 0 || column >= d_width || row >= d_height) return false;
    d_pDiagonals[static_cast<size_t>(row) * d_width + column] = other ? 1 : 0;
    return true;
}

float CAIMap::getCellHeight(int32_t column, int32_t row) const { return static_cast<float>(cornerHeight(column, row)); }

bool CAIMap::getCellDiagonal(int32_t column, int32_t row) const
{
    if (!d_pHeights) return false;
    column = std::clamp(column, 0, d_width - 1);
    row = std::clamp(row, 0, d_height - 1);
    return d_pDiagonals[static_cast<size_t>(row) * d_width + column] != 0;
}

double CAIMap::cornerHeight(int64_t column, int64_t row) const
{
    if (!d_pHeights) return 0.0;
    column = std::clamp<int64_t>(column, 0, d_width - 1);
    row = std::clamp<int64_t>(row, 0, d_height - 1);
    return d_pHeights[row * d_width + column];
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

namespace {

// Heights over one cell in cell units (u, v in 0..1 from its first corner) and the slopes of the
// triangle holding (u, v).
struct CellSurface {
    double h00, h10, h01, h11;
    bool other;

    double height(double u, double v, double* pSlopeU, double* pSlopeV) const
    {
        if (!other) {
            if (u >= v) {
                *pSlopeU = h10 - h00;
                *pSlopeV = h11 - h10;
            } else {
                *pSlopeU = h11 - h01;
                *pSlopeV = h01 - h00;
            }
            return h00 + u * *pSlopeU + v * *pSlopeV;
        }
        if (u + v <= 1.0) {
            *pSlopeU = h10 - h00;
            *pSlopeV = h01 - h00;
            return h00 + u * *pSlopeU + v * *pSlopeV;
        }
        *pSlopeU = h11 - h01;
        *pSlopeV = h11 - h10;
        return h11 - (1.0 - u) * *pSlopeU - (1.0 - v) * *pSlopeV;
    }
};

// Möller-Trumbore, both faces, edges included with a little slack so that no ray slips between
// two triangles.
bool hitTriangle(const double a[3], const double b[3], const double c[3], const double o[3], const double d[3],
                 double* pT)
{
    const double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    const double p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2], d[0] * e2[1] - d[1] * e2[0]};
    const double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
    if (std::fabs(det) < 1e-12) return false;
    const double inv = 1.0 / det;
    const double s[3] = {o[0] - a[0], o[1] - a[1], o[2] - a[2]};
    const double u = (s[0] * p[0] + s[1] * p[1] + s[2] * p[2]) * inv;
    const double slack = 1e-9;
    if (u < -slack || u > 1.0 + slack) return false;
    const double q[3] = {s[1] * e1[2] - s[2] * e1[1], s[2] * e1[0] - s[0] * e1[2], s[0] * e1[1] - s[1] * e1[0]};
    const double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) * inv;
    if (v < -slack || u + v > 1.0 + slack) return false;
    *pT = (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) * inv;
    return true;
}

}  // namespace

bool CAIMap::getGroundHeight(float x, float y, float* pHeight, Vector3* pNormal) const
{
    *pHeight = 0.0f;
    if (!d_pHeights) return false;
    // In cells from the map's first corner; written so that NaN falls outside.
    const double cx = (static_cast<double>(x) - d_originX) / d_cellSize;
    const double cy = (static_cast<double>(y) - d_originY) / d_cellSize;
    if (!(cx >= 0.0 && cx < d_width && cy >= 0.0 && cy < d_height)) return false;
    const int32_t column = static_cast<int32_t>(cx), row = static_cast<int32_t>(cy);
    const CellSurface cell = {cornerHeight(column, row), cornerHeight(column + 1, row), cornerHeight(column, row + 1),
                              cornerHeight(column + 1, row + 1), getCellDiagonal(column, row)};
    double slopeU = 0.0, slopeV = 0.0;
    *pHeight = static_cast<float>(cell.height(cx - column, cy - row, &slopeU, &slopeV));
    const double slopeX = slopeU / d_cellSize, slopeY = slopeV / d_cellSize;
    const double scale = 1.0 / std::sqrt(slopeX * slopeX + slopeY * slopeY + 1.0);
    pNormal->set(static_cast<float>(-slopeX * scale), static_cast<float>(-slopeY * scale), static_cast<float>(scale));
    return true;
}

bool CAIMap::hitCell(int32_t column, int32_t row, const double start[3], const double direction[3], double* pT) const
{
    const double c = column, r = row;
    const double p00[3] = {c, r, cornerHeight(column, row)};
    const double p10[3] = {c + 1, r, cornerHeight(column + 1, row)};
    const double p01[3] = {c, r + 1, cornerHeight(column, row + 1)};
    const double p11[3] = {c + 1, r + 1, cornerHeight(column + 1, row + 1)};
    const bool other = getCellDiagonal(column, row);
    const double* triangles[2][3] = {{p00, p10, other ? p01 : p11}, {other ? p10 : p00, p11, p01}};
    bool found = false;
    for (const auto& t : triangles) {
        double hit = 0.0;
        if (hitTriangle(t[0], t[1], t[2], start, direction, &hit) && hit >= 0.0 &&
            (!found || hit < *pT)) {
            *pT = hit;
            found = true;
        }
    }
    return found;
}

bool CAIMap::intersectLand(const Vector3& start, const Vector3& direction, Vector3* pHit) const
{
    if (!d_pHeights || !pHit) return false;
    // Cell space: x and y in cells from the map's first corner, heights as they are. Distances along
    // the ray are the same in both.
    const double o[3] = {(static_cast<double>(start.x) - d_originX) / d_cellSize,
                         (static_cast<double>(start.y) - d_originY) / d_cellSize, start.z};
    const double d[3] = {static_cast<double>(direction.x) / d_cellSize,
                         static_cast<double>(direction.y) / d_cellSize, direction.z};
    for (double v : {o[0], o[1], o[2], d[0], d[1], d[2]})
        if (!std::isfinite(v)) return false;
    if (d[0] == 0.0 && d[1] == 0.0 && d[2] == 0.0) return false;

    // The part of the ray over the map.
    const double inf = std::numeric_limits<double>::infinity();
    double tEnter = 0.0, tLeave = inf;
    const double size[2] = {static_cast<double>(d_width), static_cast<double>(d_height)};
    for (int axis = 0; axis < 2; ++axis) {
        if (d[axis] == 0.0) {
            if (o[axis] < 0.0 || o[axis] >= size[axis]) return false;
            continue;
        }
        double t0 = (0.0 - o[axis]) / d[axis], t1 = (size[axis] - o[axis]) / d[axis];
        if (t0 > t1) std::swap(t0, t1);
        tEnter = std::max(tEnter, t0);
        tLeave = std::min(tLeave, t1);
    }
    if (tEnter > tLeave) return false;

    const auto cellAt = [](double value, int32_t count) {
        return static_cast<int32_t>(std::clamp(std::floor(value), 0.0, static_cast<double>(count - 1)));
    };
    const double tProbe = tLeave < inf ? (tEnter + std::min(tLeave, tEnter + 1e-7)) * 0.5 : tEnter;
    int32_t column = cellAt(o[0] + d[0] * tProbe, d_width), row = cellAt(o[1] + d[1] * tProbe, d_height);
    const int32_t stepX = d[0] > 0 ? 1 : -1, stepY = d[1] > 0 ? 1 : -1;
    double tNextX = d[0] == 0.0 ? inf : ((d[0] > 0 ? column + 1 : column) - o[0]) / d[0];
    double tNextY = d[1] == 0.0 ? inf : ((d[1] > 0 ? row + 1 : row) - o[1]) / d[1];
    const double tDeltaX = d[0] == 0.0 ? inf : std::fabs(1.0 / d[0]);
    const double tDeltaY = d[1] == 0.0 ? inf : std::fabs(1.0 / d[1]);

    double t = 0.0;
    bool found = false;
    for (int64_t steps = 0, most = static_cast<int64_t>(d_width) + d_height + 2; steps < most; ++steps) {
        if (hitCell(column, row, o, d, &t)) {
            found = true;
            break;
        }
        if (std::min(tNextX, tNextY) >= tLeave) break;
        if (tNextX < tNextY) {
            column += stepX;
            tNextX += tDeltaX;
        } else {
            row += stepY;
            tNextY += tDeltaY;
        }
        if (column < 0 || row < 0 || column >= d_width || row >= d_height) break;
    }
    if (!found) return false;
    pHit->set(static_cast<float>(start.x + direction.x * t), static_cast<float>(start.y + direction.y * t),
              static_cast<float>(start.z + direction.z * t));
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
