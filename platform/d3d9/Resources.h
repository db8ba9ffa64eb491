// Resources of the reference device, all in real memory: buffers, textures with their levels and
// cube faces, surfaces, shaders and declarations.
#pragma once

#include "Control.h"
#include "ShaderCode.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace d3d9ref {

// What a renderer needs to keep a copy of a resource's bytes: a serial that no other resource of
// the run shares, and the byte range written since the renderer last took its copy (it clears it).
struct Changes {
    uint64_t Serial = nextSerial();
    UINT DirtyBegin = 0;
    UINT DirtyEnd = 0;
    void mark(UINT begin, UINT end)
    {
        if (DirtyEnd <= DirtyBegin) {
            DirtyBegin = begin;
            DirtyEnd = end;
        } else {
            DirtyBegin = std::min(DirtyBegin, begin);
            DirtyEnd = std::max(DirtyEnd, end);
        }
    }
    static uint64_t nextSerial()
    {
        static std::atomic<uint64_t> serial{0};
        return ++serial;
    }
};

// Texels of one level (or one face of one level). Rows lie Pitch bytes apart; the pitch is larger
// than a row so that code copying at the row length instead of the pitch shows up.
struct Level {
    D3DFORMAT Format;
    UINT Width;
    UINT Height;
    UINT Pitch;
    UINT Rows;  // block rows for compressed formats
    std::vector<uint8_t> Bytes;
    bool Locked = false;
    Changes Written;
    uint64_t Version = 0;
};
std::shared_ptr<Level> makeLevel(D3DFORMAT format, UINT width, UINT height);

// Reference counting shared by every object; counts live resources per pool.
template <class Interface>
class Counted : public Interface {
public:
    explicit Counted(int pool) : m_pool(pool)
    {
        if (m_pool >= 0) ++control().LiveResources[m_pool];
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        record(Method::Release, {ptr(this)});
        ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }

protected:
    ~Counted() override
    {
        if (m_pool >= 0) --control().LiveResources[m_pool];
    }

private:
    std::atomic<ULONG> m_references{1};
    int m_pool;
};

// Vertex and index buffers: their bytes in memory, locked one range at a time.
template <class Interface, class Desc>
class Buffer : public Counted<Interface> {
public:
    Buffer(const Desc& desc) : Counted<Interface>(desc.Pool), Bytes(desc.Size, 0), m_desc(desc) {}
    D3DRESOURCETYPE GetType() override { return m_desc.Type; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(Desc* desc) override;
    const Desc& desc() const { return m_desc; }
    std::vector<uint8_t> Bytes;
    Changes Written;
    uint64_t Version = 0;

protected:
    Desc m_desc;

private:
    bool m_locked = false;
};

class VertexBuffer final : public Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC> {
public:
    VertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
        : Buffer(D3DVERTEXBUFFER_DESC{D3DFMT_UNKNOWN, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf})
    {
    }
};

class IndexBuffer final : public Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC> {
public:
    IndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
        : Buffer(D3DINDEXBUFFER_DESC{format, D3DRTYPE_INDEXBUFFER, usage, pool, length})
    {
    }
    D3DFORMAT format() const { return m_desc.Format; }
};

class Surface final : public Counted<IDirect3DSurface9> {
public:
    // A surface of its own (pool >= 0) or a view of a texture level (pool -1, parent kept alive).
    Surface(std::shared_ptr<Level> level, D3DPOOL pool, DWORD usage, bool counted, IDirect3DResource9* parent);
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const tagRECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;
    HRESULT GetContainer(const GUID& riid, void** container) override;
    Level& level() { return *m_level; }
    std::weak_ptr<Level> levelLink() const { return m_level; }
    D3DPOOL pool() const { return m_pool; }
    DWORD usage() const { return m_usage; }
    // The texture a level's surface belongs to; null for a surface of its own.
    IDirect3DResource9* container() const { return m_parent; }

private:
    ~Surface() override;
    std::shared_ptr<Level> m_level;
    D3DPOOL m_pool;
    DWORD m_usage;
    IDirect3DResource9* m_parent;
};

class Texture final : public Counted<IDirect3DTexture9> {
public:
    Texture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(m_levels.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const tagRECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const tagRECT* rect) override;
    Level* level(UINT index) { return index < m_levels.size() ? m_levels[index].get() : nullptr; }

private:
    std::vector<std::shared_ptr<Level>> m_levels;
    DWORD m_usage;
    D3DPOOL m_pool;
};

class CubeTexture final : public Counted<IDirect3DCubeTexture9> {
public:
    CubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    DWORD GetLevelCount() override { return m_levelCount; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const tagRECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT AddDirtyRect(D3DCUBEMAP_FACES face, const tagRECT* rect) override;
    Level* find(D3DCUBEMAP_FACES face, UINT level);

private:
    std::vector<std::shared_ptr<Level>> m_faces[6];
    DWORD m_levelCount;
    DWORD m_usage;
    D3DPOOL m_pool;
};

// Shaders keep the checked stream and its reading; the serial names them to a renderer's cache.
template <class Interface>
class Shader final : public Counted<Interface> {
public:
    explicit Shader(d3d9shader::Program program, const DWORD* tokens)
        : Counted<Interface>(-1), Tokens(tokens, tokens + program.tokenCount), Code(std::move(program))
    {
    }
    std::vector<DWORD> Tokens;
    d3d9shader::Program Code;
    const uint64_t Serial = Changes::nextSerial();
};
typedef Shader<IDirect3DVertexShader9> VertexShader;
typedef Shader<IDirect3DPixelShader9> PixelShader;

class VertexDeclaration final : public Counted<IDirect3DVertexDeclaration9> {
public:
    explicit VertexDeclaration(std::vector<D3DVERTEXELEMENT9> elements) : Counted(-1), Elements(std::move(elements)) {}
    std::vector<D3DVERTEXELEMENT9> Elements;  // up to and including the end element
};

// Levels of a full chain down to 1 x 1 when levels is 0.
UINT fullLevelCount(UINT width, UINT height);

}  // namespace d3d9ref
