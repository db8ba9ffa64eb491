// A 640 x 480 screenshot of the game read back, and where the level's fixed view puts a world point
// in it.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

struct Point {
    float x, y, z;
};

// Where a world point shows in a 640 x 480 screenshot: the fixed view of the level (from above
// (2300, 3300, 900) towards (3650, 3300, 250), a view window 0.75 high at depth 1) in its viewport
// at the picture's top right.
struct LevelView {
    static constexpr float X = 396, Y = 24, W = 224, H = 172;
    Point d, h, u;
    LevelView()
    {
        d = unit({1350, 0, -650});
        h = unit({-d.y, d.x, 0});  // up x depth
        u = {d.y * h.z - d.z * h.y, d.z * h.x - d.x * h.z, d.x * h.y - d.y * h.x};
    }
    static Point unit(Point p)
    {
        const float l = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        return {p.x / l, p.y / l, p.z / l};
    }
    static float dot(Point a, Point b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
    void screen(Point p, int* px, int* py) const
    {
        const Point r{p.x - 2300, p.y - 3300, p.z - 900};
        const float depth = dot(r, d);
        *px = static_cast<int>(std::lround(X + W / 2 - dot(r, h) / depth / (0.375f * W / H) * W / 2));
        *py = static_cast<int>(std::lround(Y + H / 2 - dot(r, u) / depth / 0.375f * H / 2));
    }
};

class Screenshot {
public:
    explicit Screenshot(const std::string& tga) : m_tga(tga), m_topFirst((static_cast<uint8_t>(tga[17]) & 0x20) != 0) {}
    bool valid() const { return m_tga.size() == 18u + 640u * 480u * 4u; }
    // Red, green and blue of a pixel.
    void rgb(int x, int y, int* c) const
    {
        const size_t at = 18 + (static_cast<size_t>(m_topFirst ? y : 479 - y) * 640 + x) * 4;
        for (int i = 0; i < 3; ++i) c[i] = static_cast<uint8_t>(m_tga[at + 2 - i]);
    }
    // Pixels of the square of that half size about the world point that pass the test.
    template <class Test>
    int count(const LevelView& view, Point p, int half, Test test) const
    {
        int sx = 0, sy = 0, n = 0;
        view.screen(p, &sx, &sy);
        for (int y = sy - half; y <= sy + half; ++y)
            for (int x = sx - half; x <= sx + half; ++x) {
                int c[3];
                rgb(x, y, c);
                n += test(c[0], c[1], c[2]);
            }
        return n;
    }

private:
    std::string m_tga;
    bool m_topFirst;
};

inline bool leafGreen(int r, int g, int b) { return g > r + 40 && g > b + 40; }
inline bool water(int r, int g, int b) { return b > 110 && b > r + 30 && g > r; }

// Drops of the demo's fountain in water colours above its foot at (3500, 3300), between the heights
// (a fountain just started reaches 200 after some twenty steps).
inline int fountainDrops(const Screenshot& shot, const LevelView& view, float low = 40, float high = 280)
{
    int drops = 0;
    for (float z = low; z <= high; z += 40) drops += shot.count(view, {3500, 3300, z}, 3, water);
    return drops;
}
