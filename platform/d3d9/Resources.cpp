#include "Resources.h"
#include "Renderer.h"

#include <algorithm>
#include <cstring>

const GUID IID_IDirect3DTexture9 = {0x85C31227, 0x3DE5, 0x4F00, {0x9B, 0x3A, 0xF1, 0x1A, 0xC3, 0x8C, 0x18, 0xB5}};

namespace d3d9ref {

namespace {

HRESULT lockRange(std::vector<uint8_t>& bytes, bool& locked, UINT offset, UINT size, void** data, Changes& written)
{
    if (!data || locked) return D3DERR_INVALIDCALL;
    if (offset > bytes.size() || (size != 0 && size > bytes.size() - offset)) return D3DERR_INVALIDCALL;
    locked = true;
    written.mark(offset, size ? offset + size : static_cast<UINT>(bytes.size()));
    *data = bytes.data() + offset;
    return D3D_OK;
}

HRESULT lockLevel(Level& level, D3DLOCKED_RECT* locked)
{
    if (HRESULT f = forcedFailure(Method::LockRect)) return f;
    if (!locked || level.Locked) return D3DERR_INVALIDCALL;
    level.Locked = true;
    level.Written.mark(0, static_cast<UINT>(level.Bytes.size()));
    locked->Pitch = static_cast<INT>(level.Pitch);
    locked->pBits = level.Bytes.data();
    return D3D_OK;
}

HRESULT unlockLevel(Level& level)
{
    if (!level.Locked) return D3DERR_INVALIDCALL;
    ++level.Version;
    if (HRESULT f = forcedFailure(Method::UnlockRect)) {
        level.Locked = false;
        return f;
    }
    level.Locked = false;
    return D3D_OK;
}

void describe(const Level& level, DWORD usage, D3DPOOL pool, D3DSURFACE_DESC* desc)
{
    desc->Format = level.Format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage;
    desc->Pool = pool;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->MultiSampleQuality = 0;
    desc->Width = level.Width;
    desc->Height = level.Height;
}

}  // namespace

UINT bytesPerPixel(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A8R8G8B8: case D3DFMT_X8R8G8B8: case D3DFMT_X8L8V8U8: case D3DFMT_Q8W8V8U8:
    case D3DFMT_V16U16: case D3DFMT_D32: case D3DFMT_D24S8: case D3DFMT_D24X8: case D3DFMT_D24X4S4:
    case D3DFMT_INDEX32:
        return 4;
    case D3DFMT_R8G8B8:
        return 3;
    case D3DFMT_R5G6B5: case D3DFMT_X1R5G5B5: case D3DFMT_A1R5G5B5: case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2: case D3DFMT_X4R4G4B4: case D3DFMT_A8P8: case D3DFMT_A8L8: case D3DFMT_V8U8:
    case D3DFMT_L6V5U5: case D3DFMT_D16: case D3DFMT_D15S1: case D3DFMT_INDEX16: case D3DFMT_UYVY:
    case D3DFMT_YUY2:
        return 2;
    case D3DFMT_R3G3B2: case D3DFMT_A8: case D3DFMT_P8: case D3DFMT_L8: case D3DFMT_A4L4:
        return 1;
    default:
        return 0;
    }
}

bool isBlockCompressed(D3DFORMAT format)
{
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

std::shared_ptr<Level> makeLevel(D3DFORMAT format, UINT width, UINT height)
{
    auto level = std::make_shared<Level>();
    level->Format = format;
    level->Width = std::max(width, 1u);
    level->Height = std::max(height, 1u);
    if (isBlockCompressed(format)) {
        UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
        level->Pitch = std::max(1u, (level->Width + 3) / 4) * blockBytes;
        level->Rows = std::max(1u, (level->Height + 3) / 4);
    } else {
        UINT bpp = std::max(bytesPerPixel(format), 1u);
        // Rows padded past their length, so pitch mistakes show.
        level->Pitch = ((level->Width * bpp + 15) & ~15u) + 16;
        level->Rows = level->Height;
    }
    level->Bytes.assign(static_cast<size_t>(level->Pitch) * level->Rows, 0);
    return level;
}

UINT fullLevelCount(UINT width, UINT height)
{
    UINT count = 1;
    UINT size = std::max(width, height);
    while (size > 1) {
        size >>= 1;
        ++count;
    }
    return count;
}

uint64_t floatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

// ---- Buffers ----

template <class Interface, class Desc>
HRESULT Buffer<Interface, Desc>::Lock(UINT offset, UINT size, void** data, DWORD flags)
{
    record(Method::Lock, {ptr(this), offset, size, flags});
    if (HRESULT f = forcedFailure(Method::Lock)) return f;
    return lockRange(Bytes, m_locked, offset, size, data, Written);
}

template <class Interface, class Desc>
HRESULT Buffer<Interface, Desc>::Unlock()
{
    record(Method::Unlock, {ptr(this)});
    if (!m_locked) return D3DERR_INVALIDCALL;
    ++Version;
    m_locked = false;
    if (HRESULT f = forcedFailure(Method::Unlock)) return f;
    return D3D_OK;
}

template <class Interface, class Desc>
HRESULT Buffer<Interface, Desc>::GetDesc(Desc* desc)
{
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = m_desc;
    return D3D_OK;
}

template class Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
template class Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

// ---- Surfaces and textures ----

Surface::Surface(std::shared_ptr<Level> level, D3DPOOL pool, DWORD usage, bool counted, IDirect3DResource9* parent)
    : Counted(counted ? static_cast<int>(pool) : -1), m_level(std::move(level)), m_pool(pool), m_usage(usage),
      m_parent(parent)
{
    if (m_parent) m_parent->AddRef();
}

Surface::~Surface()
{
    if (m_parent) m_parent->Release();
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc)
{
    if (!desc) return D3DERR_INVALIDCALL;
    describe(*m_level, m_usage, m_pool, desc);
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const tagRECT*, DWORD flags)
{
    record(Method::LockRect, {ptr(this), 0, flags});
    return lockLevel(*m_level, locked);
}

HRESULT Surface::UnlockRect()
{
    record(Method::UnlockRect, {ptr(this)});
    return unlockLevel(*m_level);
}

HRESULT Surface::GetContainer(const GUID& riid, void** container)
{
    if (!container) return D3DERR_INVALIDCALL;
    *container = nullptr;
    auto* texture = dynamic_cast<Texture*>(m_parent);
    if (!texture || !(riid == IID_IDirect3DTexture9)) return E_NOINTERFACE;
    texture->AddRef();
    *container = static_cast<IDirect3DTexture9*>(texture);
    return D3D_OK;
}

Texture::Texture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : Counted(pool), m_usage(usage), m_pool(pool)
{
    UINT count = levels == 0 ? fullLevelCount(width, height) : std::min(levels, fullLevelCount(width, height));
    for (UINT i = 0; i < count; ++i) m_levels.push_back(makeLevel(format, width >> i, height >> i));
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    if (level >= m_levels.size() || !desc) return D3DERR_INVALIDCALL;
    describe(*m_levels[level], m_usage, m_pool, desc);
    return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface)
{
    if (level >= m_levels.size() || !surface) return D3DERR_INVALIDCALL;
    *surface = new Surface(m_levels[level], m_pool, m_usage, false, this);
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const tagRECT*, DWORD flags)
{
    record(Method::LockRect, {ptr(this), level, flags});
    if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
    return lockLevel(*m_levels[level], locked);
}

HRESULT Texture::UnlockRect(UINT level)
{
    record(Method::UnlockRect, {ptr(this), level});
    if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
    return unlockLevel(*m_levels[level]);
}

HRESULT Texture::AddDirtyRect(const tagRECT*)
{
    record(Method::AddDirtyRect, {ptr(this)});
    return D3D_OK;
}

CubeTexture::CubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : Counted(pool), m_usage(usage), m_pool(pool)
{
    m_levelCount = levels == 0 ? fullLevelCount(edge, edge) : std::min(levels, fullLevelCount(edge, edge));
    for (auto& face : m_faces)
        for (UINT i = 0; i < m_levelCount; ++i) face.push_back(makeLevel(format, edge >> i, edge >> i));
}

Level* CubeTexture::find(D3DCUBEMAP_FACES face, UINT level)
{
    if (static_cast<DWORD>(face) >= 6 || level >= m_levelCount) return nullptr;
    return m_faces[face][level].get();
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    Level* l = find(D3DCUBEMAP_FACE_POSITIVE_X, level);
    if (!l || !desc) return D3DERR_INVALIDCALL;
    describe(*l, m_usage, m_pool, desc);
    return D3D_OK;
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface)
{
    if (!find(face, level) || !surface) return D3DERR_INVALIDCALL;
    *surface = new Surface(m_faces[face][level], m_pool, m_usage, false, this);
    return D3D_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const tagRECT*,
                              DWORD flags)
{
    record(Method::LockRect, {ptr(this), level, flags, face});
    Level* l = find(face, level);
    if (!l) return D3DERR_INVALIDCALL;
    return lockLevel(*l, locked);
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level)
{
    record(Method::UnlockRect, {ptr(this), level, face});
    Level* l = find(face, level);
    if (!l) return D3DERR_INVALIDCALL;
    return unlockLevel(*l);
}

HRESULT CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES face, const tagRECT*)
{
    record(Method::AddDirtyRect, {ptr(this), face});
    return D3D_OK;
}

// ---- Views for renderers ----

bool viewBuffer(IDirect3DVertexBuffer9* buffer, BufferView& view)
{
    auto* b = dynamic_cast<VertexBuffer*>(buffer);
    if (!b) return false;
    view = BufferView{b->Bytes.data(), b->Bytes.size(), b->Version, D3DFMT_UNKNOWN};
    return true;
}

bool viewBuffer(IDirect3DIndexBuffer9* buffer, BufferView& view)
{
    auto* b = dynamic_cast<IndexBuffer*>(buffer);
    if (!b) return false;
    view = BufferView{b->Bytes.data(), b->Bytes.size(), b->Version, b->format()};
    return true;
}

bool viewTextureLevel(IDirect3DBaseTexture9* texture, UINT face, UINT level, LevelView& view)
{
    Level* l = nullptr;
    if (auto* t = dynamic_cast<Texture*>(texture)) l = face == 0 ? t->level(level) : nullptr;
    else if (auto* c = dynamic_cast<CubeTexture*>(texture)) l = c->find(static_cast<D3DCUBEMAP_FACES>(face), level);
    if (!l) return false;
    view = LevelView{l->Format, l->Width, l->Height, l->Pitch, l->Bytes.data(), l->Version};
    return true;
}

}  // namespace d3d9ref
