// Vertex-array objects kept per vertex layout and buffer, so that a draw like the one before binds
// one object instead of specifying every attribute again; and the values that attributes without
// an array read, set only when they change.
//
// Needs the renderer's GL context current; one per context.
#pragma once

#include "d3d9gl/GLState.h"

#include <cstdint>
#include <unordered_map>

namespace d3d9gl {

constexpr int MAX_VERTEX_ATTRIBUTES = 16;

// One attribute as GL reads it from a buffer.
struct VertexAttribute {
    uint32_t location;
    int32_t size;  // 1..4, or GL_BGRA for colours stored blue first
    uint32_t type;
    uint32_t normalised;
    uint32_t buffer;  // GL name
    uint32_t offset;  // bytes from the buffer's start to vertex 0's value
    uint32_t stride;
};

// What a draw reads: each location at most once.
struct VertexFormat {
    uint32_t count = 0;
    VertexAttribute attributes[MAX_VERTEX_ATTRIBUTES];

    bool operator==(const VertexFormat& o) const;
    uint32_t locations() const;  // a bit per location read
};

struct VertexFormatHash {
    size_t operator()(const VertexFormat& f) const;
};

class VertexArrays {
public:
    VertexArrays() = default;
    VertexArrays(const VertexArrays&) = delete;
    VertexArrays& operator=(const VertexArrays&) = delete;

    void init(GLState& gl) { m_gl = &gl; }
    void destroy();
    // Binds an object reading `format`. A kept one is made on first use and found again; one not
    // kept (a layout that changes with every draw) goes through a scratch object set up afresh.
    void bind(const VertexFormat& format, bool keep);
    // Binds the object bound last again; false when it has gone since.
    bool rebind();
    // Makes `buffer` the bound object's index buffer.
    void elements(uint32_t buffer);
    // Objects that read a buffer go with it, before its name can be given to another.
    void forget(uint32_t buffer);
    // The values locations read without an array: those of the fixed-function pipeline (opaque
    // white diffuse, no specular or blend weights) or a shader's (0, 0, 0, 1).
    void defaults(uint32_t arrayLocations, bool fixedFunction);

private:
    struct Object {
        uint32_t name = 0;
        uint32_t elements = 0;
    };
    static void specify(const VertexFormat& format);
    void remove(Object& object);

    GLState* m_gl = nullptr;

    std::unordered_map<VertexFormat, Object, VertexFormatHash> m_objects;
    Object m_scratch;
    Object* m_bound = nullptr;
    const VertexFormat* m_boundFormat = nullptr;  // key of the bound kept object
    float m_values[MAX_VERTEX_ATTRIBUTES][4];
    uint32_t m_valuesSet = 0;  // locations whose value above GL holds
    uint32_t m_defaultsFor = ~0u;  // the locations and pipeline the values were last set for
};

}  // namespace d3d9gl
