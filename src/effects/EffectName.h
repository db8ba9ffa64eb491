// Two small value types of the effect definitions: an owned name compared without regard to case,
// and three angles that make an orientation for the emitters.
#pragma once

#include "utility/VectorMath.h"

#include <cstddef>

class CEffectName {
public:
    // The buffer holds the text and its terminator.
    explicit CEffectName(const char* text);
    // The buffer has the given size; a size too small for the text is reported and grown to fit.
    CEffectName(const char* text, size_t size);
    CEffectName(const CEffectName& other);
    ~CEffectName();

    // Copies the other text into this buffer, which grows when the text does not fit.
    CEffectName& operator=(const CEffectName& other);
    // Equal texts without regard to case.
    bool operator==(const char* text) const;

    const char* GetText() const { return m_pText; }
    size_t GetSize() const { return m_size; }

private:
    void assign(const char* text, size_t size);

    char* m_pText;
    size_t m_size;
};

struct CAngleTriple {
    float a, b, c;

    // The orientation of matrix3FromAngles(a, b, c).
    void ToMatrix(Matrix3& out) const { matrix3FromAngles(a, b, c, out); }
};
