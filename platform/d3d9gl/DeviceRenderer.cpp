#include "d3d9gl/DeviceRenderer.h"

#include "d3d9/Resources.h"
#include "d3d9gl/GLRenderer.h"
#include "d3d9gl/ShaderInputs.h"
#include "d3d9gl/ShaderTranslator.h"
#include "platform/sdlwindow.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>

namespace d3d9gl {

namespace {

// GL copies not drawn for this many frames are dropped; a later draw copies the bytes again.
constexpr uint64_t UNUSED_FRAMES = 120;

// The device's own resource behind an interface, found by its exact (final) class: cheaper than
// a dynamic_cast at every draw. Null for anything else.
template <class Resource, class Interface>
Resource* ownResource(Interface* p)
{
    static_assert(std::is_final_v<Resource>);
    return p && typeid(*p) == typeid(Resource) ? static_cast<Resource*>(p) : nullptr;
}

struct Copy {
    uint32_t handle = 0;
    uint64_t lastUsed = 0;
    uint64_t paletteHash = 0;  // of the palette a palettised texture was decoded with
    // A level drawn into: what was drawn lives only in the copy, which is kept while the level is.
    std::weak_ptr<d3d9ref::Level> drawnInto;
};

class DeviceRenderer final : public d3d9ref::Renderer {
public:
    explicit DeviceRenderer(bool ownWindow) : m_ownWindow(ownWindow) {}

    bool open(HWND window, const D3DPRESENT_PARAMETERS& parameters) override
    {
        close();
        SDL_Window* sdl = platform::sdlWindow(window);
        if (!sdl && !m_ownWindow) return true;  // nothing on screen to draw into
        uint32_t width = parameters.BackBufferWidth, height = parameters.BackBufferHeight;
        if ((width == 0 || height == 0) && sdl) {
            int w = 0, h = 0;
            SDL_GetWindowSize(sdl, &w, &h);
            width = width ? width : static_cast<uint32_t>(std::max(w, 1));
            height = height ? height : static_cast<uint32_t>(std::max(h, 1));
        }
        if (width == 0 || height == 0) width = height = 1;
        m_opaque = parameters.BackBufferFormat != D3DFMT_A8R8G8B8;
        if (!m_gl.create(sdl, width, height, m_opaque)) return false;
        m_gl.setSwapInterval(swapIntervalOf(parameters.PresentationInterval));
        m_home = m_holder = std::this_thread::get_id();
        return true;
    }

    // Pre-modulation and bump mapping pass their first argument; only 2D textures reach GL.
    bool canSample(D3DRESOURCETYPE type, D3DFORMAT format) const override
    {
        return type == D3DRTYPE_TEXTURE && GLRenderer::canSample(format);
    }

    bool canRenderTo(D3DFORMAT format) const override { return GLRenderer::canRenderTo(format); }

    void close() override
    {
        m_buffers.clear();
        for (RecentCopy& r : m_recentBuffers) r = RecentCopy();
        m_textures.clear();
        forgetStageCopies();
        m_taken = false;
        // Torn down where the context can be taken: not under another thread's draw.
        if (m_holder != std::thread::id() && m_holder != std::this_thread::get_id()) return;
        m_gl.destroy();
        m_holder = std::thread::id();
    }

    void clear(const platform::testing::D3D9State& state, DWORD flags, D3DCOLOR colour, float z,
               DWORD stencil) override
    {
        ContextUse use(*this, state.InScene);
        if (!use.held() || !bindTarget(state)) return;
        m_gl.clear(viewportOf(state), 0, nullptr, flags, colour, z, stencil);
    }

    void draw(const platform::testing::D3D9State& state, const d3d9ref::DrawCall& call) override
    {
        ContextUse use(*this, state.InScene);
        if (!use.held()) return;
        // What draws read of the state is taken again only when the device says it changed; the
        // bytes of textures, buffers and the streams may change between any two draws.
        const bool fresh = !m_taken || state.StateVersion != m_takenVersion;
        if (fresh ? !takeState(state) : !refreshTextures(state)) return;
        VertexSource vertices;
        vertices.fvf = m_fvf;
        if (!m_readsInputs) {
            if (!streamSource(state, call, 0, true, vertices)) return;
        } else if (!fillStreams(state, call)) {
            return;
        }
        if (!call.Indexed) {
            m_gl.draw(m_pipeline, call.Type, vertices, call.Start, call.PrimitiveCount);
            return;
        }
        IndexSource indices;
        if (call.UserIndices) {
            indices.data = call.UserIndices;
            indices.indexSize = call.UserIndexSize;
        } else {
            auto* ib = ownResource<d3d9ref::IndexBuffer>(state.Indices);
            if (!ib) return;
            const D3DINDEXBUFFER_DESC& desc = ib->desc();
            // Dynamic indices are streamed with each draw; the others are copied when written. Either
            // way the renderer may read them here, to take only the vertices they name.
            indices.data = ib->Bytes.data();
            indices.size = ib->Bytes.size();
            if (!(desc.Usage & D3DUSAGE_DYNAMIC)) indices.buffer = bufferCopy(ib->Bytes, ib->Written);
            indices.indexSize = desc.Format == D3DFMT_INDEX32 ? 4 : 2;
        }
        m_gl.drawIndexed(m_pipeline, call.Type, vertices, indices, call.BaseVertex, call.MinIndex,
                         call.NumVertices, call.Start, call.PrimitiveCount);
    }

    void present() override
    {
        ContextUse use(*this, false);
        if (!use.held()) return;
        m_gl.present();
        ++m_frame;
        if (m_frame % UNUSED_FRAMES == 0) {
            sweep(m_buffers, [this](uint32_t h) { m_gl.deleteBuffer(h); });
            for (RecentCopy& r : m_recentBuffers) r = RecentCopy();
            sweep(m_textures, [this](uint32_t h) { m_gl.deleteTexture(h); });
            forgetStageCopies();
        }
    }

    bool readFrontBuffer(uint8_t* pixels, UINT pitch, UINT& width, UINT& height) override
    {
        ContextUse use(*this, false);
        if (!use.held()) return false;
        const bool read = m_gl.readFrontBuffer(pixels, pitch, std::min(width, m_gl.width()), std::min(height, m_gl.height()));
        width = m_gl.width();
        height = m_gl.height();
        return read;
    }

private:
    // The device's lock serialises every call, but the calls may come from several threads (a
    // video's streaming thread draws and presents its frames while the game's thread waits). A GL
    // context is current on one thread at a time, so a call makes it current on its own thread
    // and, unless a scene is still open, lets it go again: between scenes any thread may take it.
    // A call that finds it held by another thread's open scene draws nothing rather than wait.
    class ContextUse {
    public:
        ContextUse(DeviceRenderer& r, bool inScene) : m_r(r), m_keep(inScene)
        {
            if (!r.m_gl.isCreated()) return;
            const std::thread::id me = std::this_thread::get_id();
            if (r.m_holder == me) {
                m_held = true;
            } else if (r.m_holder == std::thread::id() && r.m_gl.makeCurrent()) {
                r.m_holder = me;
                m_held = true;
            }
        }
        ~ContextUse()
        {
            if (m_held && !m_keep && m_r.m_gl.isCreated()) {
                m_r.m_gl.releaseCurrent();
                m_r.m_holder = std::thread::id();
                // SDL keeps what it knows of a thread until told: a thread of someone else's
                // would otherwise leave it behind when it ends.
                if (std::this_thread::get_id() != m_r.m_home) SDL_TLSCleanup();
            }
        }
        bool held() const { return m_held; }

    private:
        DeviceRenderer& m_r;
        bool m_keep;
        bool m_held = false;
    };

    // Presents wait for the display as often as the interval asks; the default waits once.
    static int swapIntervalOf(UINT interval)
    {
        switch (interval) {
        case D3DPRESENT_INTERVAL_IMMEDIATE: return 0;
        case D3DPRESENT_INTERVAL_TWO: return 2;
        case D3DPRESENT_INTERVAL_THREE: return 3;
        case D3DPRESENT_INTERVAL_FOUR: return 4;
        default: return 1;
        }
    }

    // Stream `index` of the draw: caller memory for stream 0 of a user-pointer draw. A dynamic
    // buffer, written between draws, is streamed with each draw that reads it alone; other buffers
    // are copied to GL when written.
    bool streamSource(const platform::testing::D3D9State& state, const d3d9ref::DrawCall& call, uint32_t index,
                      bool alone, VertexSource& out)
    {
        if (call.UserVertices) {
            if (index != 0) return false;
            out.data = call.UserVertices;
            out.stride = call.UserStride;
            return true;
        }
        auto* vb = ownResource<d3d9ref::VertexBuffer>(state.Streams[index].Buffer);
        if (!vb) return false;
        const D3DVERTEXBUFFER_DESC& desc = vb->desc();
        const uint32_t offset = state.Streams[index].Offset;
        out.stride = state.Streams[index].Stride;
        if (alone && (desc.Usage & D3DUSAGE_DYNAMIC)) {
            if (offset >= vb->Bytes.size()) return false;
            out.data = vb->Bytes.data() + offset;
            out.size = vb->Bytes.size() - offset;
            return true;
        }
        out.buffer = bufferCopy(vb->Bytes, vb->Written);
        out.offset = offset;
        return true;
    }

    // Says once per shader or declaration why it cannot be drawn.
    bool drawable(uint64_t serial, const std::vector<DWORD>& tokens, const char* kind)
    {
        auto known = m_runnable.find(serial);
        if (known != m_runnable.end()) return known->second;
        std::string why;
        const bool ok = shaderRunnable(tokens.data(), tokens.size(), why);
        if (!ok) d3d9ref::rendererNote(std::string("a ") + kind + " shader is not drawn: " + why);
        m_runnable.emplace(serial, ok);
        return ok;
    }

    // The state draws read, taken after the device changed it; false when it cannot be drawn with
    // (and so until it changes again).
    bool takeState(const platform::testing::D3D9State& state)
    {
        m_taken = true;
        m_takenVersion = state.StateVersion;
        m_drawable = false;
        ++m_version;
        m_pipeline.version = m_version;
        const auto* surface = dynamic_cast<d3d9ref::Surface*>(state.RenderTarget);
        m_textureTarget = surface && surface->container();
        if (!bindTarget(state)) return false;
        fillPipeline(state);
        m_fvf = state.FVF;
        m_inputs.clear();
        // A vertex shader, or a declaration without an FVF word, reads the streams through inputs.
        m_readsInputs = state.VertexShader || (state.Declaration && !state.FVF);
        const bool shaded = m_readsInputs || state.PixelShader;
        if (shaded && !fillShaders(state)) return false;
        m_pipeline.shaders = shaded ? &m_shaders : nullptr;
        m_drawable = true;
        return true;
    }

    // Between changes of the state: the textures' bytes, and their GL copies should one have gone.
    bool refreshTextures(const platform::testing::D3D9State& state)
    {
        if (!m_drawable || (m_textureTarget && !bindTarget(state))) return false;
        for (int s = 0; s < MAX_STAGES; ++s) {
            if (!state.Textures[s]) continue;
            const uint32_t handle = stageTexture(s, state, false);
            if (handle == m_pipeline.textures[s]) continue;
            m_pipeline.textures[s] = handle;
            m_pipeline.version = ++m_version;
        }
        return true;
    }

    // The GL copy of a stage's texture. The texture it was copied from is only looked at for
    // levels written since, unless its colours come from a palette that may have changed.
    uint32_t stageTexture(int stage, const platform::testing::D3D9State& state, bool paletteMayChange)
    {
        IDirect3DBaseTexture9* base = state.Textures[stage];
        StageCopy& known = m_stageCopies[stage];
        // A texture released since may have left its address to this one: only the serial of its
        // top level tells them apart, before the levels kept of the old one are looked at.
        const d3d9ref::Level* top = base ? levelOf(base, 0, 0) : nullptr;
        if (top && base == known.texture && top->Written.Serial == known.serial && !(paletteMayChange && known.paletted)) {
            bool written = false;
            for (const d3d9ref::Level* lv : known.levels) written |= lv->Written.DirtyEnd > lv->Written.DirtyBegin;
            if (!written) {
                known.copy->lastUsed = m_frame;
                return known.copy->handle;
            }
        }
        known = StageCopy();
        Copy* copy = nullptr;
        const uint32_t handle = textureCopy(base, state, &copy);
        if (!handle) return 0;
        known.texture = base;
        known.serial = top ? top->Written.Serial : 0;
        known.copy = copy;
        const uint32_t faces = ownResource<d3d9ref::CubeTexture>(base) ? 6 : 1;
        for (uint32_t f = 0; f < faces; ++f)
            for (uint32_t l = 0; l < base->GetLevelCount(); ++l)
                if (d3d9ref::Level* lv = levelOf(base, f, l)) known.levels.push_back(lv);
        const D3DFORMAT format = known.levels.empty() ? D3DFMT_UNKNOWN : known.levels[0]->Format;
        known.paletted = format == D3DFMT_P8 || format == D3DFMT_A8P8;
        return handle;
    }

    void forgetStageCopies()
    {
        for (StageCopy& s : m_stageCopies) s = StageCopy();
    }

    // The shaders and what their inputs read, from the state.
    bool fillShaders(const platform::testing::D3D9State& state)
    {
        auto* vs = dynamic_cast<d3d9ref::VertexShader*>(state.VertexShader);
        auto* ps = dynamic_cast<d3d9ref::PixelShader*>(state.PixelShader);
        auto* declaration = dynamic_cast<d3d9ref::VertexDeclaration*>(state.Declaration);
        if ((state.VertexShader && !vs) || (state.PixelShader && !ps)) return false;
        m_shaders = ShaderState();
        m_shaders.vertexConstants = &state.VertexShaderConstants[0][0];
        m_shaders.pixelConstants = &state.PixelShaderConstants[0][0];
        if (ps) {
            if (!drawable(ps->Serial, ps->Tokens, "pixel")) return false;
            m_shaders.pixel = ShaderCode{ps->Serial, ps->Tokens.data(), ps->Tokens.size()};
        }
        if (!vs && state.FVF) return true;  // fixed-function vertices of an FVF word
        if (!vs) {
            DWORD fvf = 0;
            if (!declaration || !fixedFunctionInputs(declaration->Elements, m_inputs, fvf)) {
                if (m_notedDeclarations.insert(ptr(declaration)).second)
                    d3d9ref::rendererNote("a vertex declaration the fixed-function pipeline cannot read is not drawn");
                return false;
            }
            m_fvf = fvf;
        } else {
            if (!drawable(vs->Serial, vs->Tokens, "vertex")) return false;
            m_shaders.vertex = ShaderCode{vs->Serial, vs->Tokens.data(), vs->Tokens.size()};
            std::string why;
            if (!vertexInputs(vs->Code, declaration ? declaration->Elements : elementsOfFVF(state.FVF), m_inputs, why)) {
                if (m_notedDeclarations.insert(ptr(declaration) ^ vs->Serial).second) d3d9ref::rendererNote(why);
                return false;
            }
        }
        m_shaders.inputs = m_inputs.data();
        m_shaders.inputCount = static_cast<uint32_t>(m_inputs.size());
        return true;
    }

    // The streams the inputs read, for this draw.
    bool fillStreams(const platform::testing::D3D9State& state, const d3d9ref::DrawCall& call)
    {
        for (VertexSource& v : m_shaders.streams) v = VertexSource();
        const bool alone = std::all_of(m_inputs.begin(), m_inputs.end(),
                                       [&](const VertexInput& in) { return in.stream == m_inputs[0].stream; });
        for (const VertexInput& in : m_inputs)
            if (!m_shaders.streams[in.stream].stride &&
                !streamSource(state, call, in.stream, alone, m_shaders.streams[in.stream]))
                return false;
        return true;
    }

    static uint64_t ptr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

    static Viewport viewportOf(const platform::testing::D3D9State& state)
    {
        const D3DVIEWPORT9& v = state.Viewport;
        return Viewport{v.X, v.Y, v.Width, v.Height, v.MinZ, v.MaxZ};
    }

    void fillPipeline(const platform::testing::D3D9State& state)
    {
        std::memcpy(m_renderStates, state.RenderStates, sizeof(m_renderStates));
        std::memset(m_stageStates, 0, sizeof(m_stageStates));
        std::memset(m_samplerStates, 0, sizeof(m_samplerStates));
        for (int s = 0; s < MAX_STAGES; ++s) {
            std::memcpy(m_stageStates[s], state.StageStates[s],
                        std::min(sizeof(m_stageStates[s]), sizeof(state.StageStates[s])));
            std::memcpy(m_samplerStates[s], state.SamplerStates[s],
                        std::min(sizeof(m_samplerStates[s]), sizeof(state.SamplerStates[s])));
        }
        m_pipeline.renderStates = m_renderStates;
        m_pipeline.stageStates = m_stageStates;
        m_pipeline.samplerStates = m_samplerStates;
        // The matrices set, each where the pipeline reads it (a null: identity).
        m_pipeline.world = m_pipeline.view = m_pipeline.projection = nullptr;
        for (const float*& m : m_pipeline.blendWorlds) m = nullptr;
        for (const float*& m : m_pipeline.textureMatrices) m = nullptr;
        for (const auto& [which, matrix] : state.Transforms) {
            const float* m = &matrix.m[0][0];
            if (which == D3DTS_WORLD)
                m_pipeline.world = m;
            else if (which == D3DTS_VIEW)
                m_pipeline.view = m;
            else if (which == D3DTS_PROJECTION)
                m_pipeline.projection = m;
            else if (which > D3DTS_WORLD && which <= D3DTS_WORLDMATRIX(3))
                m_pipeline.blendWorlds[which - D3DTS_WORLD - 1] = m;
            else if (which >= D3DTS_TEXTURE0 && which < D3DTS_TEXTURE0 + MAX_STAGES)
                m_pipeline.textureMatrices[which - D3DTS_TEXTURE0] = m;
        }
        m_pipeline.viewport = viewportOf(state);
        for (int s = 0; s < MAX_STAGES; ++s) m_pipeline.textures[s] = stageTexture(s, state, true);
        fillLighting(state);
    }

    // The material and the enabled lights, lowest index first. A light enabled without a
    // description is the device's default: white, directional, pointing down the z axis.
    void fillLighting(const platform::testing::D3D9State& state)
    {
        auto copy = [](const D3DCOLORVALUE& c, float* out) {
            out[0] = c.r;
            out[1] = c.g;
            out[2] = c.b;
            out[3] = c.a;
        };
        const D3DMATERIAL9& m = state.Material;
        copy(m.Diffuse, m_lighting.diffuse);
        copy(m.Ambient, m_lighting.ambient);
        copy(m.Specular, m_lighting.specular);
        copy(m.Emissive, m_lighting.emissive);
        m_lighting.power = m.Power;
        m_lighting.lightCount = 0;
        for (const auto& [index, enabled] : state.LightEnabled) {
            if (!enabled || m_lighting.lightCount == MAX_ACTIVE_LIGHTS) continue;
            LightRecord& r = m_lighting.lights[m_lighting.lightCount++];
            r = LightRecord();
            auto it = state.Lights.find(index);
            if (it == state.Lights.end()) {
                r.diffuse[0] = r.diffuse[1] = r.diffuse[2] = 1.0f;
                continue;
            }
            const D3DLIGHT9& l = it->second;
            r.type = l.Type;
            copy(l.Diffuse, r.diffuse);
            copy(l.Specular, r.specular);
            copy(l.Ambient, r.ambient);
            r.position[0] = l.Position.x, r.position[1] = l.Position.y, r.position[2] = l.Position.z;
            r.direction[0] = l.Direction.x, r.direction[1] = l.Direction.y, r.direction[2] = l.Direction.z;
            r.range = l.Range;
            r.falloff = l.Falloff;
            r.attenuation[0] = l.Attenuation0, r.attenuation[1] = l.Attenuation1, r.attenuation[2] = l.Attenuation2;
            r.theta = l.Theta;
            r.phi = l.Phi;
        }
        m_pipeline.lighting = &m_lighting;
    }

    uint32_t bufferCopy(std::vector<uint8_t>& bytes, d3d9ref::Changes& written)
    {
        // A draw mostly reads the buffers the draw before read: the last two are found without a look-up.
        Copy* found = nullptr;
        for (const RecentCopy& r : m_recentBuffers)
            if (r.copy && r.serial == written.Serial) found = r.copy;
        if (!found) {
            found = &m_buffers[written.Serial];
            m_recentBuffers[1] = m_recentBuffers[0];
            m_recentBuffers[0] = RecentCopy{written.Serial, found};
        }
        Copy& c = *found;
        c.lastUsed = m_frame;
        const uint32_t size = static_cast<uint32_t>(bytes.size());
        if (!c.handle) {
            c.handle = m_gl.createBuffer(size);
            written.DirtyBegin = 0;
            written.DirtyEnd = size;
        }
        if (written.DirtyEnd > written.DirtyBegin && written.DirtyEnd <= size)
            m_gl.updateBuffer(c.handle, written.DirtyBegin, written.DirtyEnd - written.DirtyBegin,
                              bytes.data() + written.DirtyBegin);
        written.DirtyBegin = written.DirtyEnd = 0;
        return c.handle;
    }

    // Level l of face f of a 2D or cube texture; null for anything else.
    static d3d9ref::Level* levelOf(IDirect3DBaseTexture9* base, uint32_t face, uint32_t l)
    {
        if (auto* texture = ownResource<d3d9ref::Texture>(base)) return face == 0 ? texture->level(l) : nullptr;
        auto* cube = ownResource<d3d9ref::CubeTexture>(base);
        return cube ? cube->find(static_cast<D3DCUBEMAP_FACES>(face), l) : nullptr;
    }

    // Points GL at the state's render target: the back buffer, or the copy of a render-target
    // texture's level (made first if need be), which then keeps what is drawn into it. False when
    // it cannot be drawn into.
    bool bindTarget(const platform::testing::D3D9State& state)
    {
        auto* surface = dynamic_cast<d3d9ref::Surface*>(state.RenderTarget);
        auto* texture = surface ? dynamic_cast<IDirect3DBaseTexture9*>(surface->container()) : nullptr;
        if (!texture) return m_gl.setRenderTarget(0);
        const uint32_t faces = ownResource<d3d9ref::CubeTexture>(texture) ? 6 : 1;
        for (uint32_t f = 0; f < faces; ++f)
            for (uint32_t l = 0; l < texture->GetLevelCount(); ++l) {
                if (levelOf(texture, f, l) != &surface->level()) continue;
                Copy* copy = nullptr;
                const uint32_t handle = textureCopy(texture, state, &copy);
                if (!handle) return false;
                copy->drawnInto = surface->levelLink();
                return m_gl.setRenderTarget(handle, l, f);
            }
        return false;
    }

    // The GL copy of a 2D or cube texture, made on first use and updated level by level as the
    // device's bytes change. Palettised textures are made again when the current palette changes.
    uint32_t textureCopy(IDirect3DBaseTexture9* base, const platform::testing::D3D9State& state, Copy** made = nullptr)
    {
        const bool cube = ownResource<d3d9ref::CubeTexture>(base) != nullptr;
        auto level = [&](uint32_t face, uint32_t l) { return levelOf(base, face, l); };
        d3d9ref::Level* top = level(0, 0);
        if (!top || !GLRenderer::canSample(top->Format)) return 0;
        const uint32_t levels = base->GetLevelCount(), faces = cube ? 6 : 1;
        const PALETTEENTRY* palette = nullptr;
        uint64_t paletteHash = 0;
        if (top->Format == D3DFMT_P8 || top->Format == D3DFMT_A8P8) {
            auto it = state.Palettes.find(state.CurrentPalette);
            if (it != state.Palettes.end()) {
                palette = it->second.data();
                paletteHash = 1469598103934665603ull;
                const auto* p = reinterpret_cast<const uint8_t*>(palette);
                for (size_t i = 0; i < 256 * sizeof(PALETTEENTRY); ++i) paletteHash = (paletteHash ^ p[i]) * 1099511628211ull;
            }
        }
        Copy& c = m_textures[top->Written.Serial];
        c.lastUsed = m_frame;
        bool all = c.paletteHash != paletteHash;
        c.paletteHash = paletteHash;
        if (!c.handle) {
            c.handle = m_gl.createTexture(top->Width, top->Height, levels, top->Format, cube);
            all = true;
        }
        for (uint32_t f = 0; f < faces; ++f)
            for (uint32_t l = 0; l < levels; ++l) {
                d3d9ref::Level* lv = level(f, l);
                if (!lv) break;
                if (all || lv->Written.DirtyEnd > lv->Written.DirtyBegin)
                    m_gl.updateTexture(c.handle, l, lv->Bytes.data(), lv->Pitch, f, palette);
                lv->Written.DirtyBegin = lv->Written.DirtyEnd = 0;
            }
        if (made) *made = &c;
        return c.handle;
    }

    template <typename Release>
    void sweep(std::unordered_map<uint64_t, Copy>& copies, Release release)
    {
        for (auto it = copies.begin(); it != copies.end();) {
            if (m_frame - it->second.lastUsed > UNUSED_FRAMES && it->second.drawnInto.expired()) {
                release(it->second.handle);
                it = copies.erase(it);
            } else {
                ++it;
            }
        }
    }

    bool m_ownWindow;
    bool m_opaque = true;
    std::thread::id m_home;    // the thread that opened the device
    std::thread::id m_holder;  // the thread the context is current on, if any
    GLRenderer m_gl;
    PipelineState m_pipeline;
    uint32_t m_renderStates[RENDER_STATE_COUNT] = {};
    uint32_t m_stageStates[MAX_STAGES][STAGE_STATE_COUNT] = {};
    uint32_t m_samplerStates[MAX_STAGES][SAMPLER_STATE_COUNT] = {};
    std::unordered_map<uint64_t, Copy> m_buffers;  // by resource serial
    struct RecentCopy {
        uint64_t serial = 0;
        Copy* copy = nullptr;
    } m_recentBuffers[2];
    std::unordered_map<uint64_t, Copy> m_textures;
    ShaderState m_shaders;
    // What each stage's texture was copied from: the copy and the levels to watch.
    struct StageCopy {
        IDirect3DBaseTexture9* texture = nullptr;
        uint64_t serial = 0;  // of its top level
        Copy* copy = nullptr;
        std::vector<d3d9ref::Level*> levels;
        bool paletted = false;
    };
    StageCopy m_stageCopies[MAX_STAGES];
    // What was last taken of the device's state, and the version of it handed to GL.
    bool m_taken = false;
    uint64_t m_takenVersion = 0;
    bool m_drawable = false;       // it can be drawn with
    bool m_textureTarget = false;  // a texture's level is the render target
    uint32_t m_fvf = 0;            // of the vertices, from the FVF word or a declaration
    bool m_readsInputs = false;    // the streams are read through m_inputs
    uint64_t m_version = 0;
    LightingState m_lighting;
    std::vector<VertexInput> m_inputs;
    std::unordered_map<uint64_t, bool> m_runnable;  // by shader serial
    std::unordered_set<uint64_t> m_notedDeclarations;
    uint64_t m_frame = 0;
};

}  // namespace

std::unique_ptr<d3d9ref::Renderer> createWindowDeviceRenderer() { return std::make_unique<DeviceRenderer>(false); }

std::unique_ptr<d3d9ref::Renderer> createOffscreenDeviceRenderer() { return std::make_unique<DeviceRenderer>(true); }

}  // namespace d3d9gl

namespace d3d9ref {

std::unique_ptr<Renderer> createWindowRenderer() { return d3d9gl::createWindowDeviceRenderer(); }

}  // namespace d3d9ref
