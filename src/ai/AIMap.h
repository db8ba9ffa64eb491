// CAIMap: the level's AI height map, a grid of 15-bit heights over the world's x, y plane.
//
// Each cell's height stands at its first corner (lowest x and y); the ground over a cell is two
// triangles between its corner and the corners of the cells towards +x and +y (past the map's last
// row and column the heights repeat). A cell's diagonal flag says where the triangles meet: clear,
// along the diagonal from its first corner to the opposite one; set, along the other diagonal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Vector3;

class CAIMap {
public:
    CAIMap();
    ~CAIMap();
    CAIMap(const CAIMap&) = delete;
    CAIMap& operator=(const CAIMap&) = delete;

    // A width x height grid of cells of cellSize world units whose first cell starts at origin.
    bool create(int32_t width, int32_t height, int32_t cellSize, int32_t originX, int32_t originY);
    void destroy();
    bool setHeight(int32_t column, int32_t row, uint16_t height);
    bool setDiagonal(int32_t column, int32_t row, bool other);

    int32_t getWidth() const { return d_width; }
    int32_t getHeight() const { return d_height; }
    int32_t getCellSize() const { return d_cellSize; }
    int32_t getOriginX() const { return d_originX; }
    int32_t getOriginY() const { return d_originY; }
    // The height of a cell, the cell clamped to the map; 0 without a map.
    float getCellHeight(int32_t column, int32_t row) const;
    // The diagonal flag of a cell, the cell clamped to the map; false without a map.
    bool getCellDiagonal(int32_t column, int32_t row) const;

    // The height of the cell under the world point; 0 outside the map.
    uint16_t getHeightAt(int32_t x, int32_t y) const;
    // The ground under a world point: the height of the cell's triangle there and its unit normal.
    // Outside the map: false, height 0, normal left alone.
    bool getGroundHeight(float x, float y, float* pHeight, Vector3* pNormal) const;
    // The first point where the ray from start along direction (any length, not zero) meets the
    // ground over the map; false when it meets none.
    bool intersectLand(const Vector3& start, const Vector3& direction, Vector3* pHit) const;

    // Shadow values, one per cell (how deep the cell lies in the landscape's shadow); 0 until set
    // and outside the map.
    bool setShadowHeight(int32_t column, int32_t row, uint16_t value);
    uint16_t getShadowHeightAt(int32_t x, int32_t y) const;

private:
    double cornerHeight(int64_t column, int64_t row) const;
    // The ray's first hit (not behind its start) on the two triangles of a cell, in cell space.
    bool hitCell(int32_t column, int32_t row, const double start[3], const double direction[3], double* pT) const;

    // The cell under a world point; false outside the map.
    bool cellAt(int32_t x, int32_t y, size_t* pIndex) const;

    std::vector<uint16_t> d_shadows;  // empty until a value is set
    uint16_t* d_pHeights;
    uint8_t* d_pDiagonals;  // one byte a cell
    int32_t d_width;
    int32_t d_height;
    int32_t d_cellSize;
    int32_t d_originX;
    int32_t d_originY;
};
