// Plain OpenGL for the baselines of the renderer benchmarks: a hidden SDL window with an OpenGL 3.3
// core context (as the renderer asks for), a vertex array, and programs compiled from GLSL text.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>

#include <cstdlib>
#include <string>

namespace plaingl {

class Context {
public:
    Context(int width, int height)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        m_window = SDL_CreateWindow("", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (m_window) m_context = SDL_GL_CreateContext(m_window);
        if (!m_context) return;
        SDL_GL_MakeCurrent(m_window, m_context);
        SDL_GL_SetSwapInterval(0);
        glGenVertexArrays(1, &m_vao);
        glBindVertexArray(m_vao);
        glViewport(0, 0, width, height);
    }
    ~Context()
    {
        if (m_context) {
            glDeleteVertexArrays(1, &m_vao);
            SDL_GL_DeleteContext(m_context);
        }
        if (m_window) SDL_DestroyWindow(m_window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    bool ok() const { return m_context != nullptr; }
    void swap() { SDL_GL_SwapWindow(m_window); }

private:
    SDL_Window* m_window = nullptr;
    SDL_GLContext m_context = nullptr;
    GLuint m_vao = 0;
};

// A linked program of the two texts, or 0.
inline GLuint program(const std::string& vertexText, const std::string& fragmentText)
{
    auto compile = [](GLenum kind, const std::string& text) {
        const GLuint shader = glCreateShader(kind);
        const char* source = text.c_str();
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        GLint ok = 0;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            glDeleteShader(shader);
            return GLuint(0);
        }
        return shader;
    };
    const GLuint vs = compile(GL_VERTEX_SHADER, vertexText), fs = compile(GL_FRAGMENT_SHADER, fragmentText);
    GLuint linked = 0;
    if (vs && fs) {
        linked = glCreateProgram();
        glAttachShader(linked, vs);
        glAttachShader(linked, fs);
        glLinkProgram(linked);
        GLint ok = 0;
        glGetProgramiv(linked, GL_LINK_STATUS, &ok);
        if (!ok) {
            glDeleteProgram(linked);
            linked = 0;
        }
    }
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    return linked;
}

}  // namespace plaingl
