#include "global/ProjUtil.h"

#include "d3dcore9/D3DCore.h"
#include "utility/VectorMath.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Tokens go straight into out; the text is split in a private copy, so any length is safe.
template <class T, class Convert>
bool parseList(const char* text, T* out, int& n, const char* separators, int capacity, Convert convert)
{
    if (!text || !*text || !out || !separators) return false;
    std::string copy(text);
    const int wanted = n;
    const int limit = wanted > 0 ? (wanted < capacity ? wanted : capacity) : capacity;
    int read = 0;
    char* state = nullptr;
    char* token = strtok_r(copy.data(), separators, &state);
    for (; token && read < limit; token = strtok_r(nullptr, separators, &state)) out[read++] = convert(token);
    // Asked for n: a token beyond them means the list was not n long.
    if (wanted > 0) return read == wanted && token == nullptr;
    n = read;
    return true;
}

}  // namespace

int roundToInt(float x)
{
    if (std::isnan(x)) return 0;
    const float r = std::round(x);
    if (r >= 2147483648.0f) return INT_MAX;
    if (r < -2147483648.0f) return INT_MIN;
    return static_cast<int>(r);
}

float fracPart(float x)
{
    if (x > 0.0f) return x - std::floor(x);
    if (x < 0.0f) return x - std::ceil(x);
    return 0.0f;
}

bool isWithinDistance(const Vector3& a, const Vector3& b, float r)
{
    const float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
    return dx * dx + dy * dy + dz * dz <= r * r;
}

bool parseIntList(const char* text, int* out, int& n, const char* separators, int capacity)
{
    return parseList(text, out, n, separators, capacity, [](const char* t) { return atoi(t); });
}

bool parseFloatList(const char* text, float* out, int& n, const char* separators, int capacity)
{
    return parseList(text, out, n, separators, capacity, [](const char* t) { return static_cast<float>(atof(t)); });
}

bool isWindows2000OrLater() { return true; }

void drawDebugText(const char* text, int x, int y)
{
    D3DCore.DebugPrint(text, static_cast<float>(x), static_cast<float>(y));
}
