#include "d3d9gl/GLRenderer.h"

#include "d3d9gl/GLState.h"
#include "d3d9gl/Lighting.h"
#include "d3d9gl/ShaderGenerator.h"
#include "d3d9gl/StateValues.h"
#include "d3d9gl/TextureStore.h"
#include "d3d9gl/ShaderTranslator.h"
#include "d3d9gl/VertexStreams.h"
#include "platform/sdlwindow.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>

namespace d3d9gl {

namespace {

// Render-state numbers used here.
enum : int {
    RS_ZENABLE = 7, RS_FILLMODE = 8, RS_SHADEMODE = 9, RS_ZWRITEENABLE = 14, RS_ALPHATESTENABLE = 15, RS_SRCBLEND = 19,
    RS_DESTBLEND = 20, RS_CULLMODE = 22, RS_ZFUNC = 23, RS_ALPHAREF = 24, RS_ALPHAFUNC = 25,
    RS_ALPHABLENDENABLE = 27, RS_FOGENABLE = 28, RS_SPECULARENABLE = 29, RS_FOGCOLOR = 34,
    RS_FOGTABLEMODE = 35, RS_FOGSTART = 36, RS_FOGEND = 37, RS_FOGDENSITY = 38, RS_RANGEFOGENABLE = 48,
    RS_STENCILENABLE = 52, RS_STENCILFAIL = 53, RS_STENCILZFAIL = 54, RS_STENCILPASS = 55,
    RS_STENCILFUNC = 56, RS_STENCILREF = 57, RS_STENCILMASK = 58, RS_STENCILWRITEMASK = 59,
    RS_TEXTUREFACTOR = 60, RS_FOGVERTEXMODE = 140, RS_COLORWRITEENABLE = 168, RS_BLENDOP = 171,
    RS_BLENDFACTOR = 193, RS_SEPARATEALPHABLENDENABLE = 206, RS_SRCBLENDALPHA = 207,
    RS_DESTBLENDALPHA = 208, RS_BLENDOPALPHA = 209,
};
enum : int {
    TSS_COLOROP = 1, TSS_COLORARG1 = 2, TSS_COLORARG2 = 3, TSS_ALPHAOP = 4, TSS_ALPHAARG1 = 5,
    TSS_ALPHAARG2 = 6, TSS_BUMPENVMAT00 = 7, TSS_TEXCOORDINDEX = 11, TSS_BUMPENVLSCALE = 22, TSS_BUMPENVLOFFSET = 23, TSS_COLORARG0 = 26, TSS_ALPHAARG0 = 27,
    TSS_TEXTURETRANSFORMFLAGS = 24, TSS_RESULTARG = 28, TSS_CONSTANT = 32,
};
enum : int { RS_LOCALVIEWER = 142, RS_VERTEXBLEND = 151 };
enum : int {
    RS_LIGHTING = 137, RS_AMBIENT = 139, RS_COLORVERTEX = 141, RS_NORMALIZENORMALS = 143,
    RS_DIFFUSEMATERIALSOURCE = 145, RS_SPECULARMATERIALSOURCE = 146, RS_AMBIENTMATERIALSOURCE = 147,
    RS_EMISSIVEMATERIALSOURCE = 148,
};
enum : uint32_t { TTFF_PROJECTED = 256, VBF_TWEENING = 255, VBF_0WEIGHTS = 256 };
enum : int {
    SAMP_ADDRESSU = 1, SAMP_ADDRESSV = 2, SAMP_BORDERCOLOR = 4, SAMP_MAGFILTER = 5,
    SAMP_MINFILTER = 6, SAMP_MIPFILTER = 7,
};
enum : uint32_t {
    FVF_POSITION_MASK = 0x400E, FVF_XYZ = 0x2, FVF_XYZRHW = 0x4, FVF_XYZW = 0x4002, FVF_NORMAL = 0x10,
    FVF_PSIZE = 0x20, FVF_DIFFUSE = 0x40, FVF_SPECULAR = 0x80,
};

// Where each attribute lies in one vertex of an FVF layout.
struct VertexLayout {
    bool valid = false;
    bool rhw = false;
    int positionSize = 3;
    int weights = 0, weightOffset = 0;  // blend weights after the position
    int normal = -1;
    int diffuse = -1, specular = -1;
    int texSets = 0;
    int tex[MAX_TEXCOORD_SETS] = {};
    int texSize[MAX_TEXCOORD_SETS] = {};
    uint32_t size = 0;
};

VertexLayout layoutOf(uint32_t fvf)
{
    VertexLayout l;
    uint32_t offset = 0;
    const uint32_t kind = fvf & FVF_POSITION_MASK;
    if (kind == FVF_XYZ) {
        offset = 12;
    } else if (kind == FVF_XYZRHW) {
        offset = 16;
        l.rhw = true;
        l.positionSize = 4;
    } else if (kind == FVF_XYZW) {
        offset = 16;
    } else if (kind >= 0x6 && kind <= 0xE) {
        l.weights = static_cast<int>((kind - 0x6) / 2 + 1);
        l.weightOffset = 12;
        offset = 12 + 4 * static_cast<uint32_t>(l.weights);
    } else {
        return l;
    }
    if (fvf & FVF_NORMAL) {
        l.normal = static_cast<int>(offset);
        offset += 12;
    }
    if (fvf & FVF_PSIZE) offset += 4;
    if (fvf & FVF_DIFFUSE) { l.diffuse = static_cast<int>(offset); offset += 4; }
    if (fvf & FVF_SPECULAR) { l.specular = static_cast<int>(offset); offset += 4; }
    l.texSets = static_cast<int>((fvf >> 8) & 0xF);
    if (l.texSets > MAX_TEXCOORD_SETS) return l;
    for (int i = 0; i < l.texSets; ++i) {
        static const int sizes[4] = {2, 3, 4, 1};
        l.tex[i] = static_cast<int>(offset);
        l.texSize[i] = sizes[(fvf >> (16 + 2 * i)) & 3];
        offset += 4 * l.texSize[i];
    }
    l.size = offset;
    l.valid = true;
    return l;
}

void multiply(const float* a, const float* b, float* out)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a[r * 4 + k] * b[k * 4 + c];
            out[r * 4 + c] = s;
        }
}

constexpr int MAX_VERTEX_INPUTS = 16;

const float IDENTITY[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

GLenum compareFunc(uint32_t f) { return (f >= 1 && f <= 8) ? GL_NEVER + (f - 1) : GL_ALWAYS; }

GLenum blendFactor(uint32_t b)
{
    switch (b) {
    case 1: return GL_ZERO;
    case 2: return GL_ONE;
    case 3: return GL_SRC_COLOR;
    case 4: return GL_ONE_MINUS_SRC_COLOR;
    case 5: return GL_SRC_ALPHA;
    case 6: return GL_ONE_MINUS_SRC_ALPHA;
    case 7: return GL_DST_ALPHA;
    case 8: return GL_ONE_MINUS_DST_ALPHA;
    case 9: return GL_DST_COLOR;
    case 10: return GL_ONE_MINUS_DST_COLOR;
    case 11: return GL_SRC_ALPHA_SATURATE;
    case 14: return GL_CONSTANT_COLOR;
    case 15: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
    }
}

GLenum blendOp(uint32_t op)
{
    switch (op) {
    case 2: return GL_FUNC_SUBTRACT;
    case 3: return GL_FUNC_REVERSE_SUBTRACT;
    case 4: return GL_MIN;
    case 5: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

GLenum stencilOp(uint32_t op)
{
    static const GLenum ops[] = {GL_KEEP, GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR,
                                 GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return op < 9 ? ops[op] : GL_KEEP;
}

GLenum primitiveMode(uint32_t type, uint32_t count, uint32_t& vertices)
{
    switch (type) {
    case 1: vertices = count; return GL_POINTS;
    case 2: vertices = count * 2; return GL_LINES;
    case 3: vertices = count + 1; return GL_LINE_STRIP;
    case 4: vertices = count * 3; return GL_TRIANGLES;
    case 5: vertices = count + 2; return GL_TRIANGLE_STRIP;
    case 6: vertices = count + 2; return GL_TRIANGLE_FAN;
    default: vertices = 0; return GL_TRIANGLES;
    }
}

// Groups of uniforms, each sent again only when what it is made from changes.
enum UniformGroup {
    GROUP_TRANSFORMS, GROUP_VIEWPORT, GROUP_COLOURS, GROUP_VERTEX_STAGE, GROUP_LIGHTING, GROUP_BUMP,
    GROUP_VERTEX_CONSTANTS, GROUP_PIXEL_CONSTANTS, GROUP_COUNT,
};

// What a program's uniform groups were last made from.
class SentUniforms {
public:
    // True, keeping the bytes, when they differ from the group's last.
    bool changed(UniformGroup group, const void* bytes, size_t size)
    {
        std::vector<uint8_t>& held = m_bytes[group];
        if (held.size() == size && std::memcmp(held.data(), bytes, size) == 0) return false;
        held.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size);
        return true;
    }

private:
    std::vector<uint8_t> m_bytes[GROUP_COUNT];
};

struct Program {
    GLuint id = 0;
    GLint worldViewProj, worldView, viewport, halfPixel, rangeFog, tfactor, stageConst, fogColor,
        fogParams, alphaRef;
    GLint vsConst = -1, psConst = -1;  // shader programs only
    int vsConstCount = 0, psConstCount = 0;  // registers the shaders read
    GLint bumpEnv = -1, bumpLuminance = -1;
    GLint texMatrix = -1, blendWorld = -1, view = -1, viewProj = -1, localViewer = -1;
    GLint normalMatrix = -1, flipY = -1;
    LightingLocations lighting;
    SentUniforms sent;
};

// A program with shaders: the fixed-function key covers the stages left to fixed function.
struct ShaderProgramKey {
    FixedFunctionKey fixed;
    uint64_t vertex = 0, pixel = 0;
    bool operator==(const ShaderProgramKey& o) const { return fixed == o.fixed && vertex == o.vertex && pixel == o.pixel; }
};

struct ShaderProgramKeyHash {
    size_t operator()(const ShaderProgramKey& k) const
    {
        return FixedFunctionKeyHash()(k.fixed) ^ std::hash<uint64_t>()(k.vertex * 31 + k.pixel);
    }
};

// The 3x3 part of a matrix's inverse transpose (row vectors), which carries normals: its cofactors
// over its determinant. A singular matrix keeps its cofactors, where the inverse transpose's
// direction tends: what it flattens lights as facing out of the plane it is flattened into.
void normalMatrix(const float* m, float* out)
{
    auto cofactor = [m](int r, int c) {
        int rows[3], cols[3];
        for (int i = 0, k = 0; i < 4; ++i)
            if (i != r) rows[k++] = i;
        for (int i = 0, k = 0; i < 4; ++i)
            if (i != c) cols[k++] = i;
        auto e = [&](int i, int j) { return static_cast<double>(m[rows[i] * 4 + cols[j]]); };
        const double minor = e(0, 0) * (e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1)) -
                             e(0, 1) * (e(1, 0) * e(2, 2) - e(1, 2) * e(2, 0)) +
                             e(0, 2) * (e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0));
        return (r + c) % 2 ? -minor : minor;
    };
    double det = 0;
    for (int c = 0; c < 4; ++c) det += m[c] * cofactor(0, c);
    const double scale = det != 0 ? 1 / det : 1;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out[r * 3 + c] = static_cast<float>(cofactor(r, c) * scale);
}

// Whether a projection matrix is affine: its last column 0, 0, 0, 1 (none set is the identity).
bool affine(const float* projection)
{
    return !projection || (projection[3] == 0 && projection[7] == 0 && projection[11] == 0 && projection[15] == 1);
}

GLuint compile(GLenum type, const std::string& source, std::string& error)
{
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
        error = log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

struct GLRenderer::Impl {
    SDL_Window* window = nullptr;
    bool ownWindow = false;
    bool opaque = false;  // the back buffer's alpha stays one
    SDL_GLContext context = nullptr;
    // The back and front buffers trade places at each present; the depth buffer serves both.
    GLuint backFbo = 0, backColour = 0, backDepth = 0;
    GLuint frontFbo = 0, frontColour = 0;
    bool backStale = false;  // the back buffer's colour is older than the front's, which it should equal
    bool visible = false;    // the window can be seen, so presents copy to it
    uint32_t width = 0, height = 0;
    // Framebuffers of the texture levels drawn into, by texture, level and face.
    struct Target {
        GLuint fbo = 0, depth = 0;
        uint32_t width = 0, height = 0;
    };
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, Target> targets;
    // Where clears and draws go now: the back buffer, or a texture's level. A texture is drawn
    // upside down from the back buffer so that its first row lands where it is sampled from.
    GLuint targetFbo = 0;  // a texture's
    uint32_t targetWidth = 0, targetHeight = 0;
    bool targetTexture = false;
    bool targetValid = true;
    GLState gl;
    VertexStreams streams;
    TextureStore textures;
    std::unordered_map<FixedFunctionKey, Program, FixedFunctionKeyHash> programs;
    std::unordered_map<ShaderProgramKey, Program, ShaderProgramKeyHash> shaderPrograms;
    // The last program found for a key: draws in a row mostly share one.
    FixedFunctionKey lastKey;
    Program* lastProgram = nullptr;
    bool failedProgram = false;  // the last draw's program would not build
    // Grows with everything but draws that sets GL state a draw relies on.
    uint64_t touches = 0;
    // What the last draw applied, for the version of the state it was given.
    struct Applied {
        uint64_t version = 0;  // 0: nothing stands
        uint32_t fvf = 0;
        uint64_t touches = 0;
        AttributeRead attributes[MAX_VERTEX_ATTRIBUTES];
        uint32_t count = 0;
        uint64_t layout = 0;  // grows with every new set of attributes
    } applied;
    std::vector<uint32_t> readRows;  // read-back rows, bottom first
    std::string error;

    Program* program(const FixedFunctionKey& key);
    // The key of a draw, with the stages whose texture is a cube marked as such.
    FixedFunctionKey keyOf(const PipelineState& s, uint32_t fvf) const;
    Program link(const std::string& vertexText, const std::string& fragmentText);
    Program* shaderProgram(const PipelineState& s, uint32_t fvf);
    void applyShaderUniforms(const PipelineState& s, Program& p);
    // The program and vertex attributes of a draw; null (with the reason in error for shaders)
    // when it cannot be drawn.
    Program* prepare(const PipelineState& s, const VertexSource& v, AttributeRead* attributes, uint32_t& count);
    bool inputAttributes(const ShaderState& shaders, AttributeRead* attributes, uint32_t& count);
    // Everything but the vertices, then the vertices over the span; false when they cannot be read.
    bool begin(const PipelineState& s, const VertexSource& v, const VertexSpan& span, int64_t& shift);
    void setViewport(const Viewport& vp);
    void applyState(const PipelineState& s, Program& p);
    GLuint drawFbo() const { return targetTexture ? targetFbo : backFbo; }
    // The device counts rows from the top; the back buffer's GL rows count from the bottom.
    GLint glRow(int32_t top, int32_t bottom) const { return targetTexture ? top : static_cast<GLint>(targetHeight) - bottom; }
    // The framebuffer of a texture's level, made on first use with a depth buffer of its own; null
    // when the level cannot be drawn into.
    const Target* target(uint32_t texture, uint32_t level, uint32_t face);
    void deleteTargets(uint32_t texture);
    // Texture transforms, the blended world matrices and bump-mapping values, where the program reads them.
    void applyVertexStage(const PipelineState& s, Program& p, const float* view, const float* proj);
    // The top left w x h of a buffer, rows top first as B, G, R, A bytes.
    bool readPixels(GLuint fbo, uint32_t w, uint32_t h, void* pixels, uint32_t pitch);
    // Gives the back buffer the presented image again before anything but a whole clear changes it.
    void restoreBack();
};

GLRenderer::GLRenderer() = default;

GLRenderer::~GLRenderer() { destroy(); }

bool GLRenderer::isCreated() const { return m_impl && m_impl->context; }

bool GLRenderer::create(SDL_Window* window, uint32_t width, uint32_t height, bool opaque)
{
    destroy();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        m_error = SDL_GetError();
        return false;
    }
    m_impl = std::make_unique<Impl>();
    Impl& d = *m_impl;
    d.opaque = opaque;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (!window) {
        window = SDL_CreateWindow("", 0, 0, static_cast<int>(width), static_cast<int>(height),
                                  SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        d.ownWindow = true;
    }
    d.window = window;
    // A window of our own is hidden, and no driver without a display shows one.
    const char* driver = SDL_GetCurrentVideoDriver();
    d.visible = !d.ownWindow && !(driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0));
    if (window) d.context = SDL_GL_CreateContext(window);
    if (!d.context) {
        m_error = SDL_GetError();
        destroy();
        return false;
    }
    SDL_GL_MakeCurrent(window, d.context);
    setSwapInterval(0);
    platform::keepGraphicsDriversLoaded();
    d.gl.forget();
    d.streams.create(d.gl);
    d.textures.init(MAX_STAGES);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // Triangle fans and flat shading take their colour from the first vertex, as the device does.
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    if (!resize(width, height)) {
        destroy();
        return false;
    }
    return true;
}

void GLRenderer::setSwapInterval(int interval)
{
    if (!isCreated()) return;
    SDL_GL_MakeCurrent(m_impl->window, m_impl->context);
    SDL_GL_SetSwapInterval(interval);
}

bool GLRenderer::makeCurrent() { return isCreated() && SDL_GL_MakeCurrent(m_impl->window, m_impl->context) == 0; }

void GLRenderer::releaseCurrent()
{
    if (isCreated()) SDL_GL_MakeCurrent(m_impl->window, nullptr);
}

void GLRenderer::destroy()
{
    if (!m_impl) return;
    Impl& d = *m_impl;
    if (d.context) {
        SDL_GL_MakeCurrent(d.window, d.context);
        for (auto& [key, p] : d.programs) glDeleteProgram(p.id);
        for (auto& [key, p] : d.shaderPrograms) glDeleteProgram(p.id);
        d.streams.destroy();
        d.textures.destroy();
        for (auto& [key, t] : d.targets) {
            glDeleteFramebuffers(1, &t.fbo);
            glDeleteRenderbuffers(1, &t.depth);
        }
        glDeleteFramebuffers(1, &d.backFbo);
        glDeleteFramebuffers(1, &d.frontFbo);
        glDeleteRenderbuffers(1, &d.backColour);
        glDeleteRenderbuffers(1, &d.backDepth);
        glDeleteRenderbuffers(1, &d.frontColour);
        SDL_GL_DeleteContext(d.context);
    }
    if (d.ownWindow && d.window) SDL_DestroyWindow(d.window);
    m_impl.reset();
    m_width = m_height = 0;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool GLRenderer::resize(uint32_t width, uint32_t height)
{
    if (!isCreated() || width == 0 || height == 0) return false;
    Impl& d = *m_impl;
    ++d.touches;
    SDL_GL_MakeCurrent(d.window, d.context);
    if (!d.backFbo) {
        glGenFramebuffers(1, &d.backFbo);
        glGenFramebuffers(1, &d.frontFbo);
        glGenRenderbuffers(1, &d.backColour);
        glGenRenderbuffers(1, &d.backDepth);
        glGenRenderbuffers(1, &d.frontColour);
    }
    // An opaque back buffer has no alpha to keep, so that writing every colour channel writes all
    // of each pixel.
    const GLenum colourFormat = d.opaque ? GL_RGB8 : GL_RGBA8;
    glBindRenderbuffer(GL_RENDERBUFFER, d.backColour);
    glRenderbufferStorage(GL_RENDERBUFFER, colourFormat, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, d.backDepth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, d.frontColour);
    glRenderbufferStorage(GL_RENDERBUFFER, colourFormat, width, height);
    d.gl.framebuffer(d.frontFbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, d.frontColour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, d.backDepth);
    bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    d.gl.framebuffer(d.backFbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, d.backColour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, d.backDepth);
    ok = ok && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (!ok) {
        m_error = "back buffer incomplete";
        return false;
    }
    m_width = d.width = width;
    m_height = d.height = height;
    // Both buffers start black, with the depth buffer at its far value.
    d.gl.enable(GLState::SCISSOR_TEST, false);
    d.gl.colorMask(true, true, true, true);
    d.gl.depthMask(true);
    d.gl.stencilMask(0xFF);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    d.gl.framebuffer(d.frontFbo);
    glClear(GL_COLOR_BUFFER_BIT);
    d.gl.framebuffer(d.backFbo);
    d.backStale = false;
    return setRenderTarget(0);
}

uint32_t GLRenderer::createBuffer(uint32_t size) { return isCreated() ? m_impl->streams.createBuffer(size) : 0; }

void GLRenderer::updateBuffer(uint32_t buffer, uint32_t offset, uint32_t size, const void* data)
{
    if (isCreated()) m_impl->streams.updateBuffer(buffer, offset, size, data);
}

void GLRenderer::deleteBuffer(uint32_t buffer)
{
    if (isCreated()) m_impl->streams.deleteBuffer(buffer);
}

bool GLRenderer::canSample(uint32_t format) { return TextureStore::canSample(format); }

// Texture work binds textures to a unit a draw may use.
uint32_t GLRenderer::createTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t format, bool cube)
{
    if (!isCreated()) return 0;
    ++m_impl->touches;
    return m_impl->textures.create(width, height, levels, format, cube);
}

void GLRenderer::updateTexture(uint32_t texture, uint32_t level, const void* data, uint32_t pitch, uint32_t face,
                               const void* palette)
{
    if (!isCreated()) return;
    ++m_impl->touches;
    m_impl->textures.update(texture, level, face, data, pitch, palette);
}

void GLRenderer::deleteTexture(uint32_t texture)
{
    if (!isCreated()) return;
    ++m_impl->touches;
    m_impl->deleteTargets(texture);
    m_impl->textures.remove(texture);
}

bool GLRenderer::canRenderTo(uint32_t format) { return TextureStore::canRenderTo(format); }

bool GLRenderer::setRenderTarget(uint32_t texture, uint32_t level, uint32_t face)
{
    if (!isCreated()) return false;
    Impl& d = *m_impl;
    const Impl::Target* t = texture ? d.target(texture, level, face) : nullptr;
    const GLuint fbo = t ? t->fbo : 0;
    const uint32_t width = t ? t->width : m_width, height = t ? t->height : m_height;
    // Draws of the same state go on as they were unless the target changes.
    if (d.targetTexture != (texture != 0) || d.targetFbo != fbo || d.targetWidth != width || d.targetHeight != height ||
        d.targetValid != (!texture || t))
        ++d.touches;
    d.targetTexture = texture != 0;
    d.targetValid = !texture || t;
    if (!d.targetValid) {
        m_error = "a texture that cannot be drawn into";
        return false;
    }
    d.targetFbo = fbo;
    d.targetWidth = width;
    d.targetHeight = height;
    return true;
}

const GLRenderer::Impl::Target* GLRenderer::Impl::target(uint32_t texture, uint32_t level, uint32_t face)
{
    const auto key = std::make_tuple(texture, level, face);
    auto found = targets.find(key);
    if (found != targets.end()) return &found->second;
    ++touches;
    Target t;
    glGenFramebuffers(1, &t.fbo);
    glGenRenderbuffers(1, &t.depth);
    gl.framebuffer(t.fbo);
    bool ok = textures.attach(texture, level, face, t.width, t.height);
    if (ok) {
        glBindRenderbuffer(GL_RENDERBUFFER, t.depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, static_cast<GLsizei>(t.width),
                              static_cast<GLsizei>(t.height));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, t.depth);
        ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    if (!ok) {
        glDeleteFramebuffers(1, &t.fbo);
        gl.deleted(0, t.fbo);
        glDeleteRenderbuffers(1, &t.depth);
        return nullptr;
    }
    // The depth buffer starts at its far value, as the back buffer's does.
    gl.enable(GLState::SCISSOR_TEST, false);
    gl.depthMask(true);
    gl.stencilMask(0xFF);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    return &targets.emplace(key, t).first->second;
}

void GLRenderer::Impl::deleteTargets(uint32_t texture)
{
    for (auto it = targets.begin(); it != targets.end();) {
        if (std::get<0>(it->first) != texture) {
            ++it;
            continue;
        }
        if (targetFbo == it->second.fbo) {
            targetFbo = 0;
            targetValid = false;  // until the next target is set
        }
        glDeleteFramebuffers(1, &it->second.fbo);
        gl.deleted(0, it->second.fbo);
        glDeleteRenderbuffers(1, &it->second.depth);
        it = targets.erase(it);
    }
}

void GLRenderer::Impl::setViewport(const Viewport& vp)
{
    gl.viewport(static_cast<GLint>(vp.X), glRow(static_cast<int32_t>(vp.Y), static_cast<int32_t>(vp.Y + vp.Height)),
                static_cast<GLsizei>(vp.Width), static_cast<GLsizei>(vp.Height));
    gl.depthRange(vp.MinZ, vp.MaxZ);
}

void GLRenderer::clear(const Viewport& vp, uint32_t rectCount, const Rect* rects, uint32_t flags,
                       uint32_t colour, float z, uint32_t stencil)
{
    if (!isCreated() || !m_impl->targetValid) return;
    Impl& d = *m_impl;
    GLState& gl = d.gl;
    ++d.touches;
    GLbitfield mask = 0;
    float c[4];
    colourToFloats(colour, c);
    if (flags & CLEAR_TARGET) {
        mask |= GL_COLOR_BUFFER_BIT;
        gl.colorMask(true, true, true, true);
        glClearColor(c[0], c[1], c[2], c[3]);
    }
    if (flags & CLEAR_ZBUFFER) {
        mask |= GL_DEPTH_BUFFER_BIT;
        gl.depthMask(true);
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
    }
    if (flags & CLEAR_STENCIL) {
        mask |= GL_STENCIL_BUFFER_BIT;
        gl.stencilMask(0xFF);
        glClearStencil(static_cast<GLint>(stencil & 0xFF));
    }
    if (!mask) return;
    if (!d.targetTexture) {
        // A clear of the whole colour buffer leaves nothing of what it held.
        const bool whole = (flags & CLEAR_TARGET) && (rectCount == 0 || !rects) && vp.X == 0 && vp.Y == 0 &&
                           vp.Width >= m_width && vp.Height >= m_height;
        if (whole)
            d.backStale = false;
        else
            d.restoreBack();
    }
    gl.framebuffer(d.drawFbo());
    gl.enable(GLState::SCISSOR_TEST, true);
    const int32_t vx1 = static_cast<int32_t>(vp.X), vy1 = static_cast<int32_t>(vp.Y);
    const int32_t vx2 = vx1 + static_cast<int32_t>(vp.Width), vy2 = vy1 + static_cast<int32_t>(vp.Height);
    auto clearRect = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        x1 = std::max({x1, vx1, 0});
        y1 = std::max({y1, vy1, 0});
        x2 = std::min({x2, vx2, static_cast<int32_t>(d.targetWidth)});
        y2 = std::min({y2, vy2, static_cast<int32_t>(d.targetHeight)});
        if (x2 <= x1 || y2 <= y1) return;
        gl.scissor(x1, d.glRow(y1, y2), x2 - x1, y2 - y1);
        glClear(mask);
    };
    if (rectCount == 0 || !rects)
        clearRect(vx1, vy1, vx2, vy2);
    else
        for (uint32_t i = 0; i < rectCount; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    gl.enable(GLState::SCISSOR_TEST, false);
}

FixedFunctionKey GLRenderer::makeKey(const PipelineState& s, uint32_t fvf)
{
    FixedFunctionKey key;
    const VertexLayout layout = layoutOf(fvf);
    const uint32_t* rs = s.renderStates;
    key.rhw = layout.rhw;
    key.flatShade = rs[RS_SHADEMODE] == 1;
    key.vertexColours = static_cast<uint8_t>((layout.diffuse >= 0 ? VERTEX_DIFFUSE : 0) |
                                             (layout.specular >= 0 ? VERTEX_SPECULAR : 0));
    if (layout.valid && !layout.rhw && rs[RS_LIGHTING]) {
        // A vertex colour named as a source stands in for the material's only when the vertex has it.
        auto source = [&](uint32_t from) -> uint8_t {
            if (!rs[RS_COLORVERTEX]) return SOURCE_MATERIAL;
            if (from == 1 && layout.diffuse >= 0) return SOURCE_DIFFUSE;
            if (from == 2 && layout.specular >= 0) return SOURCE_SPECULAR;
            return SOURCE_MATERIAL;
        };
        key.lighting = 1;
        key.diffuseSource = source(rs[RS_DIFFUSEMATERIALSOURCE]);
        key.ambientSource = source(rs[RS_AMBIENTMATERIALSOURCE]);
        key.specularSource = source(rs[RS_SPECULARMATERIALSOURCE]);
        key.emissiveSource = source(rs[RS_EMISSIVEMATERIALSOURCE]);
        key.normalizeNormals = rs[RS_NORMALIZENORMALS] != 0;
    }
    key.specularAdd = rs[RS_SPECULARENABLE] && (layout.specular >= 0 || key.lighting);
    if (rs[RS_ALPHATESTENABLE]) key.alphaFunc = static_cast<uint8_t>(std::clamp<uint32_t>(rs[RS_ALPHAFUNC], 1, 8));
    if (rs[RS_FOGENABLE]) {
        const uint32_t table = rs[RS_FOGTABLEMODE], vertex = rs[RS_FOGVERTEXMODE];
        if (table >= 1 && table <= 3) {
            key.fogSource = static_cast<uint8_t>(table);
            // Table fog counts w, or the pixel's depth when the projection is affine (and so has no w to count).
            key.fogDepth = affine(s.projection) ? FOG_DEPTH_Z : FOG_DEPTH_W;
        } else if (!layout.rhw && vertex >= 1 && vertex <= 3)
            key.fogSource = static_cast<uint8_t>(vertex);
        else if (layout.specular >= 0)
            key.fogSource = FOG_SPECULAR_ALPHA;  // the application computed the factor
    }
    int count = 0;
    while (count < MAX_STAGES && s.stageStates[count][TSS_COLOROP] > 1) {
        const uint32_t* ts = s.stageStates[count];
        StageKey& st = key.stages[count];
        st.colorOp = static_cast<uint8_t>(ts[TSS_COLOROP]);
        st.colorArg0 = static_cast<uint8_t>(ts[TSS_COLORARG0]);
        st.colorArg1 = static_cast<uint8_t>(ts[TSS_COLORARG1]);
        st.colorArg2 = static_cast<uint8_t>(ts[TSS_COLORARG2]);
        st.alphaOp = static_cast<uint8_t>(ts[TSS_ALPHAOP]);
        st.alphaArg0 = static_cast<uint8_t>(ts[TSS_ALPHAARG0]);
        st.alphaArg1 = static_cast<uint8_t>(ts[TSS_ALPHAARG1]);
        st.alphaArg2 = static_cast<uint8_t>(ts[TSS_ALPHAARG2]);
        st.texCoordSet = static_cast<uint8_t>(std::min<uint32_t>(ts[TSS_TEXCOORDINDEX] & 0xFFFF, MAX_TEXCOORD_SETS - 1));
        st.resultTemp = ts[TSS_RESULTARG] == 5;
        st.textureBound = s.textures[count] != 0;
        ++count;
    }
    key.stageCount = static_cast<uint8_t>(count);
    // What the fixed vertex stage makes for each texture stage, whether the stage draws or not (a
    // pixel shader reads them all).
    key.stageCoords = 1;
    for (int i = 0; i < MAX_STAGES; ++i) {
        const uint32_t* ts = s.stageStates[i];
        CoordKey& c = key.coords[i];
        const uint32_t index = ts[TSS_TEXCOORDINDEX];
        c.set = static_cast<uint8_t>(std::min<uint32_t>(index & 0xFFFF, MAX_TEXCOORD_SETS - 1));
        c.setSize = c.set < layout.texSets ? static_cast<uint8_t>(layout.texSize[c.set]) : 0;
        const uint32_t generate = index >> 16;
        c.texGen = static_cast<uint8_t>(generate <= TEXGEN_REFLECTION ? generate : 0u);
        // A count that is none of 0..4 stands, when projected, for as many as the vertex supplies;
        // projected without a count, the coordinates are divided by the last the vertex supplies.
        const uint32_t flags = ts[TSS_TEXTURETRANSFORMFLAGS];
        const bool projected = (flags & TTFF_PROJECTED) != 0;
        const uint32_t supplied = c.texGen && !layout.rhw ? 3u : c.setSize;
        uint32_t outputs = flags & 0xFF;
        if (outputs > 4) outputs = projected ? supplied : 0;
        c.transform = static_cast<uint8_t>(outputs);
        const uint32_t by = outputs ? outputs : supplied;
        if (projected && by >= 2) c.project = static_cast<uint8_t>(by);
    }
    // Blending by vertex weights: one weight less than the matrices, the last taking the rest.
    const uint32_t blend = rs[RS_VERTEXBLEND];
    if (blend >= 1 && blend <= 3 && layout.weights >= 1)
        key.blendMatrices = static_cast<uint8_t>(std::min<uint32_t>(blend, static_cast<uint32_t>(layout.weights)) + 1);
    return key;
}

FixedFunctionKey GLRenderer::Impl::keyOf(const PipelineState& s, uint32_t fvf) const
{
    FixedFunctionKey key = makeKey(s, fvf);
    for (int i = 0; i < key.stageCount; ++i)
        if (key.stages[i].textureBound && textures.isCube(s.textures[i])) key.stages[i].textureBound = TEXTURE_CUBE;
    return key;
}

Program* GLRenderer::Impl::program(const FixedFunctionKey& key)
{
    if (lastProgram && key == lastKey) return lastProgram;
    auto it = programs.find(key);
    // A failed program is remembered too, so a bad key is not recompiled at every draw.
    if (it == programs.end()) it = programs.emplace(key, link(generateVertexShader(key), generateFragmentShader(key))).first;
    if (!it->second.id) return nullptr;
    lastKey = key;
    lastProgram = &it->second;
    return lastProgram;
}

Program GLRenderer::Impl::link(const std::string& vertexText, const std::string& fragmentText)
{
    Program p;
    GLuint vs = compile(GL_VERTEX_SHADER, vertexText, error);
    GLuint fs = vs ? compile(GL_FRAGMENT_SHADER, fragmentText, error) : 0;
    if (vs && fs) {
        p.id = glCreateProgram();
        glAttachShader(p.id, vs);
        glAttachShader(p.id, fs);
        glLinkProgram(p.id);
        GLint ok = 0;
        glGetProgramiv(p.id, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[2048] = {};
            glGetProgramInfoLog(p.id, sizeof(log), nullptr, log);
            error = log;
            glDeleteProgram(p.id);
            p.id = 0;
        }
    }
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    if (p.id) {
        p.worldViewProj = glGetUniformLocation(p.id, "uWorldViewProj");
        p.worldView = glGetUniformLocation(p.id, "uWorldView");
        p.viewport = glGetUniformLocation(p.id, "uViewport");
        p.halfPixel = glGetUniformLocation(p.id, "uHalfPixel");
        p.rangeFog = glGetUniformLocation(p.id, "uRangeFog");
        p.tfactor = glGetUniformLocation(p.id, "uTFactor");
        p.stageConst = glGetUniformLocation(p.id, "uStageConst");
        p.fogColor = glGetUniformLocation(p.id, "uFogColor");
        p.fogParams = glGetUniformLocation(p.id, "uFogParams");
        p.alphaRef = glGetUniformLocation(p.id, "uAlphaRef");
        p.vsConst = glGetUniformLocation(p.id, "uVSConst");
        p.psConst = glGetUniformLocation(p.id, "uPSConst");
        p.bumpEnv = glGetUniformLocation(p.id, "uBumpEnv");
        p.bumpLuminance = glGetUniformLocation(p.id, "uBumpLuminance");
        p.texMatrix = glGetUniformLocation(p.id, "uTexMatrix");
        p.blendWorld = glGetUniformLocation(p.id, "uWorld");
        p.view = glGetUniformLocation(p.id, "uView");
        p.viewProj = glGetUniformLocation(p.id, "uViewProj");
        p.localViewer = glGetUniformLocation(p.id, "uLocalViewer");
        p.normalMatrix = glGetUniformLocation(p.id, "uNormalMatrix");
        p.flipY = glGetUniformLocation(p.id, "uFlipY");
        p.lighting.locate(p.id);
        gl.program(p.id);
        for (int i = 0; i < MAX_STAGES; ++i) {
            char name[16];
            std::snprintf(name, sizeof(name), "uTex%d", i);
            const GLint loc = glGetUniformLocation(p.id, name);
            if (loc >= 0) glUniform1i(loc, i);
        }
    }
    return p;
}

void GLRenderer::Impl::applyState(const PipelineState& s, Program& p)
{
    const uint32_t* rs = s.renderStates;
    gl.framebuffer(drawFbo());
    setViewport(s.viewport);
    gl.program(p.id);

    // Transforms, and which way up the target is.
    const float* world = s.world ? s.world : IDENTITY;
    const float* view = s.view ? s.view : IDENTITY;
    const float* proj = s.projection ? s.projection : IDENTITY;
    struct {
        float matrices[3][16];
        uint32_t flip;
    } transforms;
    std::memcpy(transforms.matrices[0], world, sizeof(IDENTITY));
    std::memcpy(transforms.matrices[1], view, sizeof(IDENTITY));
    std::memcpy(transforms.matrices[2], proj, sizeof(IDENTITY));
    transforms.flip = targetTexture;
    if (p.sent.changed(GROUP_TRANSFORMS, &transforms, sizeof(transforms))) {
        glUniform1f(p.flipY, targetTexture ? -1.0f : 1.0f);
        float worldView[16], wvp[16];
        multiply(world, view, worldView);
        multiply(worldView, proj, wvp);
        glUniformMatrix4fv(p.worldViewProj, 1, GL_FALSE, wvp);
        glUniformMatrix4fv(p.worldView, 1, GL_FALSE, worldView);
        if (p.normalMatrix >= 0) {
            float normals[9];
            normalMatrix(worldView, normals);
            glUniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, normals);
        }
    }
    applyVertexStage(s, p, view, proj);
    const uint32_t viewport[4] = {s.viewport.X, s.viewport.Y, s.viewport.Width, s.viewport.Height};
    if (p.sent.changed(GROUP_VIEWPORT, viewport, sizeof(viewport))) {
        const float vw = static_cast<float>(std::max(s.viewport.Width, 1u));
        const float vh = static_cast<float>(std::max(s.viewport.Height, 1u));
        glUniform4f(p.viewport, static_cast<float>(s.viewport.X), static_cast<float>(s.viewport.Y), vw, vh);
        // Half a pixel less the same nudge as pre-transformed vertices get (0.4921875 of a pixel).
        glUniform2f(p.halfPixel, 0.984375f / vw, -0.984375f / vh);
    }

    // Colours and fog. Range fog is a vertex-fog feature: table fog keeps the depth.
    const bool tableFog = rs[RS_FOGTABLEMODE] >= 1 && rs[RS_FOGTABLEMODE] <= 3;
    uint32_t colours[7 + MAX_STAGES] = {rs[RS_TEXTUREFACTOR], rs[RS_FOGCOLOR],   rs[RS_FOGSTART],
                                        rs[RS_FOGEND],        rs[RS_FOGDENSITY], rs[RS_ALPHAREF],
                                        rs[RS_RANGEFOGENABLE] && !tableFog};
    for (int i = 0; i < MAX_STAGES; ++i) colours[7 + i] = s.stageStates[i][TSS_CONSTANT];
    if (p.sent.changed(GROUP_COLOURS, colours, sizeof(colours))) {
        glUniform1i(p.rangeFog, colours[6] ? 1 : 0);
        float c[4];
        colourToFloats(rs[RS_TEXTUREFACTOR], c);
        glUniform4fv(p.tfactor, 1, c);
        float consts[MAX_STAGES * 4];
        for (int i = 0; i < MAX_STAGES; ++i) colourToFloats(s.stageStates[i][TSS_CONSTANT], consts + i * 4);
        glUniform4fv(p.stageConst, MAX_STAGES, consts);
        colourToFloats(rs[RS_FOGCOLOR], c);
        glUniform4fv(p.fogColor, 1, c);
        glUniform3f(p.fogParams, asFloat(rs[RS_FOGSTART]), asFloat(rs[RS_FOGEND]), asFloat(rs[RS_FOGDENSITY]));
        glUniform1f(p.alphaRef, static_cast<float>(rs[RS_ALPHAREF] & 0xFF));
    }

    // Depth, stencil, culling, fill.
    gl.enable(GLState::DEPTH_TEST, rs[RS_ZENABLE] != 0);
    gl.depthFunc(compareFunc(rs[RS_ZFUNC]));
    gl.depthMask(rs[RS_ZWRITEENABLE] != 0);
    gl.enable(GLState::STENCIL_TEST, rs[RS_STENCILENABLE] != 0);
    if (rs[RS_STENCILENABLE]) {
        gl.stencilFunc(compareFunc(rs[RS_STENCILFUNC]), static_cast<GLint>(rs[RS_STENCILREF]), rs[RS_STENCILMASK]);
        gl.stencilOp(stencilOp(rs[RS_STENCILFAIL]), stencilOp(rs[RS_STENCILZFAIL]), stencilOp(rs[RS_STENCILPASS]));
        gl.stencilMask(rs[RS_STENCILWRITEMASK]);
    }
    // The device culls by the winding seen on screen; so does GL once both count rows the same way
    // (a texture target's rows, counted the other way, turn the winding over).
    const uint32_t cull = rs[RS_CULLMODE];
    const GLenum front = targetTexture ? GL_CW : GL_CCW;
    gl.enable(GLState::CULL_FACE, cull == 2 || cull == 3);
    if (cull == 2) gl.cullFace(front, GL_BACK);   // clockwise
    if (cull == 3) gl.cullFace(front, GL_FRONT);  // counter-clockwise
    gl.polygonMode(rs[RS_FILLMODE] == 1 ? GL_POINT : rs[RS_FILLMODE] == 2 ? GL_LINE : GL_FILL);

    // Blending and colour writes.
    gl.enable(GLState::BLEND, rs[RS_ALPHABLENDENABLE] != 0);
    if (rs[RS_ALPHABLENDENABLE]) {
        auto factors = [](uint32_t src, uint32_t dst, GLenum& s, GLenum& d) {
            if (src == 12) { s = GL_SRC_ALPHA; d = GL_ONE_MINUS_SRC_ALPHA; return; }
            if (src == 13) { s = GL_ONE_MINUS_SRC_ALPHA; d = GL_SRC_ALPHA; return; }
            s = blendFactor(src);
            d = blendFactor(dst);
        };
        GLenum src, dst, srcA, dstA;
        factors(rs[RS_SRCBLEND], rs[RS_DESTBLEND], src, dst);
        GLenum op = blendOp(rs[RS_BLENDOP]), opA = op;
        if (rs[RS_SEPARATEALPHABLENDENABLE]) {
            factors(rs[RS_SRCBLENDALPHA], rs[RS_DESTBLENDALPHA], srcA, dstA);
            opA = blendOp(rs[RS_BLENDOPALPHA]);
        } else {
            srcA = src;
            dstA = dst;
        }
        gl.blendFunc(src, dst, srcA, dstA);
        gl.blendEquation(op, opA);
        float c[4];
        colourToFloats(rs[RS_BLENDFACTOR], c);
        gl.blendColor(c);
    }
    const uint32_t w = rs[RS_COLORWRITEENABLE];
    gl.colorMask((w & 1) != 0, (w & 2) != 0, (w & 4) != 0, (w & 8) != 0 || (opaque && !targetTexture));

    // Textures and samplers of the stages in use.
    for (int i = 0; i < MAX_STAGES; ++i) textures.bind(i, s.textures[i], s.samplerStates[i]);
}

void GLRenderer::Impl::applyVertexStage(const PipelineState& s, Program& p, const float* view, const float* proj)
{
    if (p.texMatrix >= 0 || p.blendWorld >= 0 || p.localViewer >= 0) {
        struct {
            float textures[MAX_STAGES][16];
            float worlds[4][16];
            float view[16], proj[16];
            uint32_t localViewer;
        } in;
        for (int i = 0; i < MAX_STAGES; ++i)
            std::memcpy(in.textures[i], s.textureMatrices[i] ? s.textureMatrices[i] : IDENTITY, sizeof(IDENTITY));
        for (int i = 0; i < 4; ++i) {
            const float* w = i == 0 ? s.world : s.blendWorlds[i - 1];
            std::memcpy(in.worlds[i], w ? w : IDENTITY, sizeof(IDENTITY));
        }
        std::memcpy(in.view, view, sizeof(IDENTITY));
        std::memcpy(in.proj, proj, sizeof(IDENTITY));
        in.localViewer = s.renderStates[RS_LOCALVIEWER] ? 1 : 0;
        if (p.sent.changed(GROUP_VERTEX_STAGE, &in, sizeof(in))) {
            if (p.texMatrix >= 0) glUniformMatrix4fv(p.texMatrix, MAX_STAGES, GL_FALSE, in.textures[0]);
            if (p.blendWorld >= 0) {
                float viewProj[16];
                multiply(view, proj, viewProj);
                glUniformMatrix4fv(p.blendWorld, 4, GL_FALSE, in.worlds[0]);
                glUniformMatrix4fv(p.view, 1, GL_FALSE, view);
                glUniformMatrix4fv(p.viewProj, 1, GL_FALSE, viewProj);
            }
            if (p.localViewer >= 0) glUniform1i(p.localViewer, static_cast<GLint>(in.localViewer));
        }
    }
    const LightingLocations& l = p.lighting;
    if (l.count >= 0 || l.matDiffuse >= 0 || l.matAmbient >= 0 || l.matSpecular >= 0 || l.matEmissive >= 0 ||
        l.globalAmbient >= 0) {
        struct {
            LightingState lights;
            float view[16];
            uint32_t ambient;
        } in;
        in.lights = s.lighting ? *s.lighting : LightingState();
        std::memcpy(in.view, view, sizeof(IDENTITY));
        in.ambient = s.renderStates[RS_AMBIENT];
        if (p.sent.changed(GROUP_LIGHTING, &in, sizeof(in))) l.apply(s.lighting, view, in.ambient);
    }
    if (p.bumpEnv >= 0) {
        float bump[MAX_STAGES * 6];
        float* env = bump;
        float* luminance = bump + MAX_STAGES * 4;
        for (int i = 0; i < MAX_STAGES; ++i) {
            for (int k = 0; k < 4; ++k) env[i * 4 + k] = asFloat(s.stageStates[i][TSS_BUMPENVMAT00 + k]);
            luminance[i * 2] = asFloat(s.stageStates[i][TSS_BUMPENVLSCALE]);
            luminance[i * 2 + 1] = asFloat(s.stageStates[i][TSS_BUMPENVLOFFSET]);
        }
        if (p.sent.changed(GROUP_BUMP, bump, sizeof(bump))) {
            glUniform4fv(p.bumpEnv, MAX_STAGES, env);
            glUniform2fv(p.bumpLuminance, MAX_STAGES, luminance);
        }
    }
}

namespace {

// The attributes of an FVF layout, all from stream 0.
uint32_t layoutAttributes(const VertexLayout& l, AttributeRead* out)
{
    uint32_t n = 0;
    out[n++] = {ATTR_POSITION, 0, 0, l.positionSize, GL_FLOAT, false, 4u * l.positionSize};
    if (l.diffuse >= 0) out[n++] = {ATTR_DIFFUSE, 0, static_cast<uint32_t>(l.diffuse), GL_BGRA, GL_UNSIGNED_BYTE, true, 4};
    if (l.normal >= 0) out[n++] = {ATTR_NORMAL, 0, static_cast<uint32_t>(l.normal), 3, GL_FLOAT, false, 12};
    if (l.weights > 0) {
        const int count = std::min(l.weights, 4);
        out[n++] = {ATTR_BLENDWEIGHT, 0, static_cast<uint32_t>(l.weightOffset), count, GL_FLOAT, false, 4u * count};
    }
    if (l.specular >= 0) out[n++] = {ATTR_SPECULAR, 0, static_cast<uint32_t>(l.specular), GL_BGRA, GL_UNSIGNED_BYTE, true, 4};
    for (int i = 0; i < l.texSets; ++i)
        out[n++] = {static_cast<uint32_t>(ATTR_TEXCOORD0 + i), 0, static_cast<uint32_t>(l.tex[i]), l.texSize[i], GL_FLOAT,
                    false, 4u * l.texSize[i]};
    return n;
}

}  // namespace

// ---- Shader model 1.x ----

Program* GLRenderer::Impl::shaderProgram(const PipelineState& s, uint32_t fvf)

{
    const ShaderState& sh = *s.shaders;
    const uint32_t* rs = s.renderStates;
    const bool tableFog = rs[RS_FOGTABLEMODE] >= 1 && rs[RS_FOGTABLEMODE] <= 3;
    ShaderProgramKey key;
    key.fixed = keyOf(s, sh.vertex.id ? 0 : fvf);
    key.fixed.stageCoords = sh.vertex.id ? 0 : 1;  // a vertex shader's registers go to the stages as the sets
    key.vertex = sh.vertex.id;
    key.pixel = sh.pixel.id;
    if (sh.vertex.id && rs[RS_FOGENABLE] && !tableFog) key.fixed.fogSource = FOG_VERTEX_FACTOR;  // oFog is the factor
    // A vertex shader's registers are neither generated nor transformed: projected, whatever the
    // count, they are divided by their fourth element.
    if (sh.vertex.id)
        for (int i = 0; i < MAX_STAGES; ++i) {
            key.fixed.coords[i] = CoordKey{};
            if (s.stageStates[i][TSS_TEXTURETRANSFORMFLAGS] & TTFF_PROJECTED) key.fixed.coords[i].project = 4;
        }
    ShaderOptions options;
    if (sh.pixel.id) {
        // The pixel shader replaces the stages; the alpha test and fog stay after it, and its
        // texture reads project as the stages would.
        key.fixed.specularAdd = 0;
        key.fixed.stageCount = 0;
        std::memset(key.fixed.stages, 0, sizeof(key.fixed.stages));
    }
    auto it = shaderPrograms.find(key);
    if (it != shaderPrograms.end()) return it->second.id ? &it->second : nullptr;
    options.flatShade = key.fixed.flatShade != 0;
    options.fogFromDepth = tableFog;
    options.tail = key.fixed;
    std::string vertexText = generateVertexShader(key.fixed), fragmentText = generateFragmentShader(key.fixed);
    int vsCount = 0, psCount = 0;
    bool ok = !sh.vertex.id || translateShader(sh.vertex.tokens, sh.vertex.count, options, vertexText, error, &vsCount);
    ok = ok && (!sh.pixel.id || translateShader(sh.pixel.tokens, sh.pixel.count, options, fragmentText, error, &psCount));
    Program p = ok ? link(vertexText, fragmentText) : Program();
    p.vsConstCount = vsCount;
    p.psConstCount = psCount;
    auto [slot, inserted] = shaderPrograms.emplace(key, p);
    return slot->second.id ? &slot->second : nullptr;
}


void GLRenderer::Impl::applyShaderUniforms(const PipelineState& s, Program& p)
{
    const ShaderState& sh = *s.shaders;
    // Only the registers a shader reads are sent, and only when they changed.
    const size_t vsBytes = static_cast<size_t>(p.vsConstCount) * 16, psBytes = static_cast<size_t>(p.psConstCount) * 16;
    if (p.vsConst >= 0 && sh.vertexConstants && vsBytes && p.sent.changed(GROUP_VERTEX_CONSTANTS, sh.vertexConstants, vsBytes))
        glUniform4fv(p.vsConst, p.vsConstCount, sh.vertexConstants);
    if (p.psConst >= 0 && sh.pixelConstants && psBytes && p.sent.changed(GROUP_PIXEL_CONSTANTS, sh.pixelConstants, psBytes))
        glUniform4fv(p.psConst, p.psConstCount, sh.pixelConstants);
}

bool GLRenderer::Impl::inputAttributes(const ShaderState& sh, AttributeRead* out, uint32_t& count)
{
    struct Format {
        GLint size;
        GLenum type;
        GLboolean normalised;
        uint32_t bytes;
    };
    static const Format FORMATS_BY_TYPE[] = {
        {1, GL_FLOAT, GL_FALSE, 4}, {2, GL_FLOAT, GL_FALSE, 8}, {3, GL_FLOAT, GL_FALSE, 12},
        {4, GL_FLOAT, GL_FALSE, 16}, {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4}, {4, GL_UNSIGNED_BYTE, GL_FALSE, 4},
        {2, GL_SHORT, GL_FALSE, 4}, {4, GL_SHORT, GL_FALSE, 8}, {4, GL_UNSIGNED_BYTE, GL_TRUE, 4},
        {2, GL_SHORT, GL_TRUE, 4}, {4, GL_SHORT, GL_TRUE, 8}, {2, GL_UNSIGNED_SHORT, GL_TRUE, 4},
        {4, GL_UNSIGNED_SHORT, GL_TRUE, 8}, {0, 0, GL_FALSE, 0}, {0, 0, GL_FALSE, 0},
        {2, GL_HALF_FLOAT, GL_FALSE, 4}, {4, GL_HALF_FLOAT, GL_FALSE, 8},
    };
    count = 0;
    for (uint32_t i = 0; i < sh.inputCount; ++i) {
        const VertexInput& in = sh.inputs[i];
        const Format f = in.type < 17 ? FORMATS_BY_TYPE[in.type] : Format{0, 0, GL_FALSE, 0};
        if (in.location >= MAX_VERTEX_INPUTS || in.stream >= MAX_VERTEX_STREAMS || f.size == 0 ||
            count == MAX_VERTEX_ATTRIBUTES) {
            error = "a vertex input the renderer cannot read";
            return false;
        }
        if (sh.streams[in.stream].stride == 0) {
            error = "a vertex stream with stride 0";
            return false;
        }
        out[count++] = {in.location, in.stream, in.offset, f.size, f.type, f.normalised == GL_TRUE, f.bytes};
    }
    return true;
}

Program* GLRenderer::Impl::prepare(const PipelineState& s, const VertexSource& v, AttributeRead* attributes, uint32_t& count)
{
    count = 0;
    failedProgram = false;
    const bool inputs = s.shaders && (s.shaders->vertex.id || s.shaders->inputCount);
    const VertexLayout layout = layoutOf(v.fvf);
    if (s.shaders) error.clear();
    if (!inputs && (!layout.valid || v.stride == 0 || !(v.buffer ? streams.has(v.buffer) : v.data != nullptr)))
        return nullptr;
    Program* p = s.shaders ? shaderProgram(s, v.fvf) : program(keyOf(s, v.fvf));
    failedProgram = !p;
    if (!p) return nullptr;
    if (!inputs) {
        count = layoutAttributes(layout, attributes);
        return p;
    }
    return inputAttributes(*s.shaders, attributes, count) ? p : nullptr;
}

bool GLRenderer::Impl::begin(const PipelineState& s, const VertexSource& v, const VertexSpan& span, int64_t& shift)
{
    // A vertex shader, or a declaration in place of an FVF word, reads the streams through inputs.
    const bool inputs = s.shaders && (s.shaders->vertex.id || s.shaders->inputCount);
    if (!inputs && !(v.buffer ? streams.has(v.buffer) : v.data != nullptr)) return false;
    // A state of the version drawn last, with nothing done to GL since, keeps the last draw's
    // program, GL state and attributes.
    if (!s.version || s.version != applied.version || v.fvf != applied.fvf || touches != applied.touches) {
        applied.version = 0;
        Program* p = prepare(s, v, applied.attributes, applied.count);
        if (!p) return false;
        ++applied.layout;
        if (!targetTexture) restoreBack();
        applyState(s, *p);
        if (s.shaders) applyShaderUniforms(s, *p);
        applied.version = s.version;
        applied.fvf = v.fvf;
        applied.touches = touches;
    }
    // An FVF layout is read from the draw's own source a whole stride at a time. Attributes no
    // input reads keep the fixed-function pipeline's values unless a vertex shader runs.
    const bool fixedFunction = !s.shaders || !s.shaders->vertex.id;
    return streams.bindVertices(applied.attributes, applied.count, applied.layout, inputs ? s.shaders->streams : &v,
                                span, !inputs, fixedFunction, shift);
}

void GLRenderer::draw(const PipelineState& state, uint32_t primitiveType, const VertexSource& vertices,
                      uint32_t startVertex, uint32_t primitiveCount)
{
    if (!isCreated() || !state.renderStates || !state.stageStates || !state.samplerStates || !m_impl->targetValid) return;
    Impl& d = *m_impl;
    uint32_t count = 0;
    const GLenum mode = primitiveMode(primitiveType, primitiveCount, count);
    if (count == 0) return;
    VertexSpan span;
    span.first = startVertex;
    span.end = static_cast<uint64_t>(startVertex) + count;
    int64_t shift = 0;
    const bool ready = d.begin(state, vertices, span, shift);
    if (state.shaders || d.failedProgram) m_error = d.error;
    if (ready) glDrawArrays(mode, static_cast<GLint>(startVertex + shift), static_cast<GLsizei>(count));
}

void GLRenderer::drawIndexed(const PipelineState& state, uint32_t primitiveType, const VertexSource& vertices,
                             const IndexSource& indices, int32_t baseVertex, uint32_t minIndex,
                             uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount)
{
    if (!isCreated() || !state.renderStates || !state.stageStates || !state.samplerStates || !m_impl->targetValid) return;
    Impl& d = *m_impl;
    uint32_t count = 0;
    const GLenum mode = primitiveMode(primitiveType, primitiveCount, count);
    if (count == 0 || (indices.indexSize != 2 && indices.indexSize != 4)) return;
    if (indices.buffer ? !d.streams.has(indices.buffer) : !indices.data) return;
    VertexSpan span;
    span.end = static_cast<uint64_t>(std::max<int64_t>(static_cast<int64_t>(baseVertex) + minIndex + numVertices, 0));
    span.indices = &indices;
    span.start = startIndex;
    span.count = count;
    span.base = baseVertex;
    int64_t shift = 0;
    const bool ready = d.begin(state, vertices, span, shift);
    if (state.shaders || d.failedProgram) m_error = d.error;
    uintptr_t offset = 0;
    if (!ready || !d.streams.bindIndices(indices, startIndex, count, offset)) return;
    glDrawElementsBaseVertex(mode, static_cast<GLsizei>(count), indices.indexSize == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                             reinterpret_cast<const void*>(offset), static_cast<GLint>(baseVertex + shift));
}

void GLRenderer::present()
{
    if (!isCreated()) return;
    Impl& d = *m_impl;
    ++d.touches;
    // The frame drawn becomes the front buffer without a copy; the back buffer gets it back only
    // if something but a whole clear comes first. Nothing drawn since the last present: the front
    // buffer already holds the frame.
    if (!d.backStale) {
        std::swap(d.backFbo, d.frontFbo);
        std::swap(d.backColour, d.frontColour);
        d.backStale = true;
    }
    if (d.visible) {
        const GLint w = static_cast<GLint>(m_width), h = static_cast<GLint>(m_height);
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(d.window, &dw, &dh);
        d.gl.enable(GLState::SCISSOR_TEST, false);
        d.gl.framebuffers(d.frontFbo, 0);
        glBlitFramebuffer(0, 0, w, h, 0, 0, dw, dh, GL_COLOR_BUFFER_BIT, (dw == w && dh == h) ? GL_NEAREST : GL_LINEAR);
    }
    SDL_GL_SwapWindow(d.window);
    d.gl.framebuffer(d.backFbo);
}

void GLRenderer::Impl::restoreBack()
{
    if (!backStale) return;
    const GLint w = static_cast<GLint>(width), h = static_cast<GLint>(height);
    gl.enable(GLState::SCISSOR_TEST, false);
    gl.framebuffers(frontFbo, backFbo);
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl.framebuffer(backFbo);
    backStale = false;
}

bool GLRenderer::Impl::readPixels(GLuint fbo, uint32_t w, uint32_t h, void* pixels, uint32_t pitch)
{
    if (!pixels || pitch < w * 4 || w > width || h > height) return false;
    ++touches;
    std::vector<uint32_t>& rows = readRows;
    rows.resize(static_cast<size_t>(w) * h);
    gl.framebuffers(fbo, backFbo);
    // B, G, R, A as the device has them; an opaque buffer has no alpha, which reads as one.
    glReadPixels(0, static_cast<GLint>(height - h), static_cast<GLsizei>(w), static_cast<GLsizei>(h), GL_BGRA,
                 GL_UNSIGNED_BYTE, rows.data());
    gl.framebuffer(backFbo);
    for (uint32_t y = 0; y < h; ++y)
        std::memcpy(static_cast<uint8_t*>(pixels) + static_cast<size_t>(y) * pitch,
                    rows.data() + static_cast<size_t>(h - 1 - y) * w, static_cast<size_t>(w) * 4);
    return true;
}

bool GLRenderer::readBackBuffer(void* pixels, uint32_t pitch)
{
    if (!isCreated()) return false;
    m_impl->restoreBack();
    return m_impl->readPixels(m_impl->backFbo, m_width, m_height, pixels, pitch);
}

bool GLRenderer::readFrontBuffer(void* pixels, uint32_t pitch, uint32_t width, uint32_t height)
{
    return isCreated() && m_impl->readPixels(m_impl->frontFbo, width, height, pixels, pitch);
}

size_t GLRenderer::programCount() const
{
    return m_impl ? m_impl->programs.size() + m_impl->shaderPrograms.size() : 0;
}

}  // namespace d3d9gl
