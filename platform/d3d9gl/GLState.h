// What the renderer last set of GL's fixed state, so that a draw makes only the GL calls that
// change something. Every call that sets one of these states goes through here; code that sets
// them behind its back (none does) would have to call forget().
//
// Needs the renderer's GL context current; one per context.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstring>

namespace d3d9gl {

class GLState {
public:
    enum Cap { DEPTH_TEST, STENCIL_TEST, CULL_FACE, BLEND, SCISSOR_TEST, CAP_COUNT };

    GLState() { forget(); }

    // Nothing is known: the next call of each kind reaches GL.
    void forget() { std::memset(static_cast<void*>(this), 0xFF, sizeof(*this)); }

    void enable(Cap cap, bool on)
    {
        static const GLenum NAMES[CAP_COUNT] = {GL_DEPTH_TEST, GL_STENCIL_TEST, GL_CULL_FACE, GL_BLEND, GL_SCISSOR_TEST};
        if (m_caps[cap] == static_cast<uint8_t>(on)) return;
        m_caps[cap] = on;
        on ? glEnable(NAMES[cap]) : glDisable(NAMES[cap]);
    }

    void framebuffer(GLuint fbo)
    {
        if (differs(m_framebuffer, fbo)) glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    }
    // Read and draw framebuffers bound apart (blits, read-back): the pair is no longer one binding.
    void framebuffers(GLuint read, GLuint draw)
    {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, read);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, draw);
        m_framebuffer = read == draw ? read : ~0u;
    }
    void viewport(GLint x, GLint y, GLsizei width, GLsizei height)
    {
        const Box box{x, y, width, height};
        if (differs(m_viewport, box)) glViewport(x, y, width, height);
    }
    void scissor(GLint x, GLint y, GLsizei width, GLsizei height)
    {
        const Box box{x, y, width, height};
        if (differs(m_scissor, box)) glScissor(x, y, width, height);
    }
    void depthRange(float nearZ, float farZ)
    {
        const float range[2] = {nearZ, farZ};
        if (differs(m_depthRange, range)) glDepthRange(nearZ, farZ);
    }
    void program(GLuint id)
    {
        if (differs(m_program, id)) glUseProgram(id);
    }
    void vertexArray(GLuint id)
    {
        if (differs(m_vertexArray, id)) glBindVertexArray(id);
    }
    // GL binds nothing in place of a deleted object, whose name may then be given to a new one.
    void deleted(GLuint vertexArray, GLuint framebuffer)
    {
        if (vertexArray && m_vertexArray == vertexArray) m_vertexArray = 0;
        if (framebuffer && m_framebuffer == framebuffer) m_framebuffer = 0;
    }
    void depthFunc(GLenum f)
    {
        if (differs(m_depthFunc, f)) glDepthFunc(f);
    }
    void depthMask(bool on)
    {
        if (differs(m_depthMask, static_cast<uint32_t>(on))) glDepthMask(on ? GL_TRUE : GL_FALSE);
    }
    void stencilFunc(GLenum f, GLint ref, GLuint mask)
    {
        const uint32_t v[3] = {f, static_cast<uint32_t>(ref), mask};
        if (differs(m_stencilFunc, v)) glStencilFunc(f, ref, mask);
    }
    void stencilOp(GLenum fail, GLenum zfail, GLenum pass)
    {
        const uint32_t v[3] = {fail, zfail, pass};
        if (differs(m_stencilOp, v)) glStencilOp(fail, zfail, pass);
    }
    void stencilMask(GLuint mask)
    {
        if (differs(m_stencilMask, static_cast<uint64_t>(mask))) glStencilMask(mask);
    }
    void cullFace(GLenum front, GLenum culled)
    {
        if (differs(m_frontFace, front)) glFrontFace(front);
        if (differs(m_cullFace, culled)) glCullFace(culled);
    }
    void polygonMode(GLenum mode)
    {
        if (differs(m_polygonMode, mode)) glPolygonMode(GL_FRONT_AND_BACK, mode);
    }
    void blendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha)
    {
        const uint32_t v[4] = {src, dst, srcAlpha, dstAlpha};
        if (differs(m_blendFunc, v)) glBlendFuncSeparate(src, dst, srcAlpha, dstAlpha);
    }
    void blendEquation(GLenum colour, GLenum alpha)
    {
        const uint32_t v[2] = {colour, alpha};
        if (differs(m_blendEquation, v)) glBlendEquationSeparate(colour, alpha);
    }
    void blendColor(const float c[4])
    {
        const float v[4] = {c[0], c[1], c[2], c[3]};
        if (differs(m_blendColor, v)) glBlendColor(c[0], c[1], c[2], c[3]);
    }
    void colorMask(bool r, bool g, bool b, bool a)
    {
        const uint32_t v = (r ? 1u : 0u) | (g ? 2u : 0u) | (b ? 4u : 0u) | (a ? 8u : 0u);
        if (differs(m_colorMask, v)) glColorMask(r, g, b, a);
    }

private:
    struct Box {
        GLint x, y;
        GLsizei width, height;
    };

    template <class T>
    static bool differs(T& held, const T& wanted)
    {
        if (std::memcmp(&held, &wanted, sizeof(T)) == 0) return false;
        std::memcpy(&held, &wanted, sizeof(T));
        return true;
    }

    uint8_t m_caps[CAP_COUNT];
    GLuint m_framebuffer, m_program, m_vertexArray;
    Box m_viewport, m_scissor;
    float m_depthRange[2];
    GLenum m_depthFunc;
    uint32_t m_depthMask;
    uint32_t m_stencilFunc[3], m_stencilOp[3];
    uint64_t m_stencilMask;  // wider than any mask, so that forgetting leaves no valid one
    GLenum m_frontFace, m_cullFace, m_polygonMode;
    uint32_t m_blendFunc[4], m_blendEquation[2];
    float m_blendColor[4];
    uint32_t m_colorMask;
};

}  // namespace d3d9gl
