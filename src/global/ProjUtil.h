// Small helpers used across the game: rounding, list parsing, a distance test.
#pragma once

struct Vector3;

// Nearest integer, halves away from zero (2.5 gives 3, -2.5 gives -3); NaN gives 0 and values past
// the int range give its end.
int roundToInt(float x);
// The part after the point, with the sign of x: x - floor(x) above 0, x - ceil(x) below.
float fracPart(float x);
// |b - a| <= r, without a root.
bool isWithinDistance(const Vector3& a, const Vector3& b, float r);

// Split text by the separators and convert each token (atoi / atof) into out, which holds capacity
// values. With n > 0 at most n tokens are read and the result is true only when the text held exactly n;
// with n <= 0 every token is read (up to capacity), n becomes the number read and the result is true.
// False for a null or empty text.
bool parseIntList(const char* text, int* out, int& n, const char* separators, int capacity);
bool parseFloatList(const char* text, float* out, int& n, const char* separators, int capacity);

// The platform is always new enough.
bool isWindows2000OrLater();
// Debug text at a screen position, drawn by the render core.
void drawDebugText(const char* text, int x, int y);
