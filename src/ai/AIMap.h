// CAIMap: the level's AI height map, a grid of 15-bit heights over the world's x, y plane.
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

    // The height of the cell under the world point; 0 outside the map.
    uint16_t getHeightAt(int32_t x, int32_t y) const;
    // The ground under a world point: the heights of a cell and of its neighbours towards +x and +y
    // stand at the cells' first corners and are blended between them, and the normal is the unit
    // normal of that blended surface. Outside the map: false, height 0, normal left alone.
    bool getGroundHeight(float x, float y, float* pHeight, Vector3* pNormal) const;

    // Shadow values, one per cell (how deep the cell lies in the landscape's shadow); 0 until set
    // and outside the map.
    bool setShadowHeight(int32_t column, int32_t row, uint16_t value);
    uint16_t getShadowHeightAt(int32_t x, int32_t y) const;

private:
    // The cell under a world point; false outside the map.
    bool cellAt(int32_t x, int32_t y, size_t* pIndex) const;

    std::vector<uint16_t> d_shadows;  // empty until a value is set
    uint16_t* d_pHeights;
    int32_t d_width;
    int32_t d_height;
    int32_t d_cellSize;
    int32_t d_originX;
    int32_t d_originY;
};
