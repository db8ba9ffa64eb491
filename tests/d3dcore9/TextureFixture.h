// The render core on the scripted card, ready to make textures, with helpers that write TGA files
// and read texture levels back.
#pragma once

#include "CoreFixture.h"
#include "d3dcore9/TextureFiles.h"
#include "d3dcore9/TextureTable.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

class TextureFixture : public CoreFixture {
protected:
    void SetUp() override
    {
        CoreFixture::SetUp();
        ResetTextureReports();
        ASSERT_TRUE(bringUp());
    }

    void TearDown() override
    {
        D3DCore.TextureTables.ReleaseAllHWTextures();
        TextureTable::SetUserFinder(nullptr);
        TextureTable::SetLoadingText(nullptr);
        D3DCore.ReleaseDevice();
        CoreFixture::TearDown();
    }

    // The device's record of a texture format, adding one for a format the card does not list.
    Tex* format(D3DFORMAT f)
    {
        for (Tex* t = D3DCore.CurrentModeType->TextureFormats.First; t; t = t->Next)
            if (t->Format == f) return t;
        m_extra.push_back(std::make_unique<Tex>());
        Tex* t = m_extra.back().get();
        t->Format = f;
        t->SpecialLayout = 1;
        return t;
    }

    TextureTable& table() { return D3DCore.TextureTables; }

    // A TGA file: type 2 for 24 or 32 bits (pixels B, G, R[, A] top row first), type 1 for 8 bits
    // with the palette given as B, G, R triples.
    static std::string tga(uint32_t w, uint32_t h, uint32_t depth, const std::vector<uint8_t>& pixels,
                           bool topFirst = true, const std::vector<uint8_t>& map = {})
    {
        TGAHeader hd{};
        hd.ImageType = depth == 8 ? 1 : 2;
        hd.ColourMapType = depth == 8 ? 1 : 0;
        hd.Width = static_cast<WORD>(w);
        hd.Height = static_cast<WORD>(h);
        hd.BitDepth = static_cast<BYTE>(depth);
        hd.Descriptor = static_cast<BYTE>((depth == 32 ? 8 : 0) | (topFirst ? 0x20 : 0));
        std::string out(reinterpret_cast<const char*>(&hd), sizeof(hd));
        if (depth == 8) {
            std::vector<uint8_t> full = map;
            full.resize(768, 0);
            out.append(full.begin(), full.end());
        }
        const uint32_t row = w * depth / 8;
        for (uint32_t y = 0; y < h; ++y) {
            const uint32_t src = topFirst ? y : h - 1 - y;
            out.append(reinterpret_cast<const char*>(pixels.data()) + src * row, row);
        }
        return out;
    }

    // A w x h image of one BGRA colour.
    static std::vector<uint8_t> solid(uint32_t w, uint32_t h, uint32_t bgra)
    {
        std::vector<uint8_t> p(size_t(w) * h * 4);
        for (size_t i = 0; i < p.size(); i += 4) std::memcpy(&p[i], &bgra, 4);
        return p;
    }

    void writeFile(const std::string& name, const std::string& bytes) { m_dir.write(name, bytes); }

    // The bytes of one level (face) of a texture, rows packed without padding.
    static std::vector<uint8_t> levelBytes(IDirect3DBaseTexture9* texture, uint32_t level, D3DCUBEMAP_FACES face,
                                           uint32_t rowBytes, uint32_t rows)
    {
        IDirect3DSurface9* s = nullptr;
        if (texture->GetType() == D3DRTYPE_CUBETEXTURE)
            static_cast<IDirect3DCubeTexture9*>(texture)->GetCubeMapSurface(face, level, &s);
        else
            static_cast<IDirect3DTexture9*>(texture)->GetSurfaceLevel(level, &s);
        std::vector<uint8_t> out;
        if (!s) return out;
        D3DLOCKED_RECT r{};
        if (SUCCEEDED(s->LockRect(&r, nullptr, D3DLOCK_READONLY))) {
            for (uint32_t y = 0; y < rows; ++y) {
                const auto* p = static_cast<const uint8_t*>(r.pBits) + size_t(y) * r.Pitch;
                out.insert(out.end(), p, p + rowBytes);
            }
            s->UnlockRect();
        }
        s->Release();
        return out;
    }

    static uint32_t texel(IDirect3DBaseTexture9* texture, uint32_t level, uint32_t x, uint32_t y,
                          D3DCUBEMAP_FACES face = D3DCUBEMAP_FACE_POSITIVE_X)
    {
        std::vector<uint8_t> b = levelBytes(texture, level, face, (x + 1) * 4, y + 1);
        uint32_t v = 0;
        if (b.size() >= size_t(y) * (x + 1) * 4 + x * 4 + 4) std::memcpy(&v, &b[size_t(y) * (x + 1) * 4 + x * 4], 4);
        return v;
    }

    std::vector<std::unique_ptr<Tex>> m_extra;
};
