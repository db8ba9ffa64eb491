// MatCore: overlay pages, fonts and text. Every quad is written straight into the locked dynamic
// buffers; a batch is drawn at EndOverlay or when it holds 128 quads.
#include "matcore9/MatCore.h"

#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"
#include "winfile/File.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const uint32_t PAGE_LINE_SIZE = 512;

// Tokens of a page-file line; blank, comment and "//" lines give none.
std::vector<std::string> tokens(char* line)
{
    std::vector<std::string> out;
    for (char* t = std::strtok(line, " \t\r\n,"); t; t = std::strtok(nullptr, " \t\r\n,")) out.emplace_back(t);
    if (!out.empty() && (out[0][0] == ';' || out[0].compare(0, 2, "//") == 0)) out.clear();
    return out;
}

// A number of a page file, held to what any texture could need.
long number(const std::vector<std::string>& t, size_t i)
{
    const long LIMIT = 1L << 24;
    const long value = i < t.size() ? std::strtol(t[i].c_str(), nullptr, 10) : 0;
    return value < -LIMIT ? -LIMIT : value > LIMIT ? LIMIT : value;
}

// Pixel values are scaled and rounded down.
int32_t scaled(const std::vector<std::string>& t, size_t i, float scale)
{
    const float value = std::floor(static_cast<float>(number(t, i)) * scale);
    return static_cast<int32_t>(std::clamp(value, -1073741824.0f, 1073741824.0f));
}

void freePage(OverlayPageInfo& page)
{
    delete[] page.Sprite;
    delete[] page.Widths;
    delete[] page.CharMap;
    page = OverlayPageInfo();
}

}  // namespace

bool MatCore::ReadOverlayPageFile(OverlayPageInfo& page, const char* PageFile, bool IsFont, float Scale, float TexW,
                                  float TexH)
{
    ReadingFile reading(PageFile);
    CFile file;
    const bool FileOK = file.Open(PageFile, FILE_MODE_READ | FILE_MODE_BUFFERED);
    if (!VERIFY_MSG(FileOK, openFailureText(PageFile, file.LastError(), PageFile).c_str())) return false;
    char line[PAGE_LINE_SIZE];
    int32_t Sprites = 0, next = 0;
    while (file.ReadLine(line, sizeof line)) {
        const std::vector<std::string> t = tokens(line);
        if (t.empty()) continue;
        if (Sprites == 0) {
            Sprites = static_cast<int32_t>(number(t, 0));
            // The count sizes the tables: a file asking for absurd numbers is refused.
            if (!VERIFY(Sprites > 0) || !VERIFY_MSG(Sprites <= MAXOVERLAYSPRITES, PageFile)) return false;
            page.Sprites = Sprites;
            page.Sprite = new OverlaySpriteRect[static_cast<size_t>(Sprites)]();
            if (IsFont) {
                page.Widths = new int32_t[static_cast<size_t>(Sprites)]();
                page.CharMap = new BYTE[256]();
            }
            continue;
        }
        if (next >= Sprites) break;
        OverlaySpriteRect& s = page.Sprite[next];
        if (!IsFont) {
            const int32_t X0 = scaled(t, 0, Scale), Y0 = scaled(t, 1, Scale), X1 = scaled(t, 2, Scale),
                          Y1 = scaled(t, 3, Scale);
            s = OverlaySpriteRect{X0 / TexW, Y0 / TexH, X1 / TexW, Y1 / TexH, X1 - X0, Y1 - Y0};
        } else {
            long Code = number(t, 0);
            if (Code == 8364) Code = 128;  // the euro sign's place in Windows-1252
            if (Code == 376) Code = 159;   // Y with diaeresis
            const int32_t X = scaled(t, 2, Scale), Y = scaled(t, 3, Scale), W = scaled(t, 4, Scale),
                          H = scaled(t, 5, Scale);
            s = OverlaySpriteRect{X / TexW, Y / TexH, (X + W) / TexW, (Y + H) / TexH, W, H};
            page.Widths[next] = scaled(t, 6, Scale);
            // The map holds a byte per code: other codes, and sprites past 255, cannot be mapped.
            const std::string where = std::string(PageFile) + " line for code " + t[0];
            if (VERIFY_MSG(Code >= 0 && Code <= 255, where.c_str()) && VERIFY_MSG(next <= 255, where.c_str()))
                page.CharMap[Code] = static_cast<BYTE>(next);
        }
        ++next;
    }
    return VERIFY(Sprites > 0);
}

int32_t MatCore::LoadOverlayPage(const char* TextureName, const char* MaterialName, const char* PageFile, bool IsFont,
                                 const char* SecondTextureName, float Scale)
{
    int32_t i = 0;
    while (i < MAXOVERLAYPAGES && OverlayPage[i].Used) ++i;
    if (i >= MAXOVERLAYPAGES) {
        assertFailedMsg("Too many overlay pages", "i < MAXOVERLAYPAGES", __FILE__, __LINE__);
        return -1;
    }
    if (!VERIFY(TextureName && MaterialName && PageFile)) return -1;
    OverlayPageInfo& page = OverlayPage[i];
    TexNames names;
    names.TotalNames = SecondTextureName ? 2 : 1;
    std::snprintf(names.Name[0], SB_TEXNAME_SIZE, "%s", TextureName);
    if (SecondTextureName) std::snprintf(names.Name[1], SB_TEXNAME_SIZE, "%s", SecondTextureName);
    page.Textures = static_cast<int32_t>(names.TotalNames);
    DWORD handle = SB_NONE;
    StateBlock* SB = nullptr;
    DWORD fvf = 0;
    bool formatOK;
    {
        // Vertices are written in the page's layout: a material of another format would misread
        // them. That is a check of the material file, in its read: a file that failed to load and
        // left its fall-back in place has said so.
        ReadingFile material(MaterialName);
        if (!VERIFY(LoadMaterial(MaterialName, names, &handle))) return -1;
        SB = D3DCore.StateBlocks.GetSB(handle);
        fvf = SB && SB->GMaterial ? SB->GMaterial->FVFFormat.D3DFlags : 0;
        formatOK = page.Textures == 1 ? VERIFY(SB->GMaterial->FVFFormat.D3DFlags == 324)
                                      : VERIFY(SB->GMaterial->FVFFormat.D3DFlags == 580);
    }
    // The first texture's size turns pixels into texture coordinates; without it there is none. A
    // texture asked for that has no size did not load, and its loader has named the file: one
    // damaged file is one report.
    const DiskTexture* disk = SB ? D3DCore.TextureTables.GetDiskTexture(SB->DiskTexture[0]) : nullptr;
    const bool sized = disk ? disk->SizeX > 0 && disk->SizeY > 0 : VERIFY_MSG(disk, TextureName);
    if (!formatOK || !sized ||
        !ReadOverlayPageFile(page, PageFile, IsFont, Scale, sized ? static_cast<float>(disk->SizeX) : 1.0f,
                             sized ? static_cast<float>(disk->SizeY) : 1.0f)) {
        D3DCore.StateBlocks.ReleaseSB(handle);
        freePage(page);
        return -1;
    }
    page.StateBlock = handle;
    page.Used = true;
    page.Font = IsFont;
    page.VertexBuffer = D3DCore.CreateDynamicVertexBuffer(fvf);
    return i;
}

void MatCore::ReleaseOverlayPage(int32_t Id)
{
    if (!VERIFY(Id >= 0 && Id < MAXOVERLAYPAGES) || !VERIFY(OverlayPage[Id].Used)) return;
    const DWORD handle = OverlayPage[Id].StateBlock;
    freePage(OverlayPage[Id]);
    D3DCore.StateBlocks.ReleaseSB(handle);
}

bool MatCore::LockOverlay()
{
    OverlayPageInfo& page = OverlayPage[Overlay.CurrentOverlayPage];
    const int32_t Handle = page.VertexBuffer;
    if (!VERIFY(D3DCore.TotalDynamicVertexBuffers9 > Handle) || Handle < 0) return false;
    Overlay.Vertices = static_cast<BYTE*>(D3DCore.DynamicVertexBuffer9[Handle].Lock(OVERLAYVERTICES));
    if (!Overlay.Vertices) return false;
    Overlay.Indices = D3DCore.DynamicIndexBuffer9.Lock(OVERLAYINDICES);
    if (!Overlay.Indices) {
        D3DCore.DynamicVertexBuffer9[Handle].Unlock();
        Overlay.Vertices = nullptr;
        return false;
    }
    Overlay.NextOverlayVertex = Overlay.NextOverlayIndex = 0;
    return true;
}

void MatCore::DrawOverlayBatch(bool draw)
{
    DynamicVB& vb = D3DCore.DynamicVertexBuffer9[OverlayPage[Overlay.CurrentOverlayPage].VertexBuffer];
    vb.Unlock();
    D3DCore.DynamicIndexBuffer9.Unlock();
    Overlay.Vertices = nullptr;
    Overlay.Indices = nullptr;
    if (!draw) return;
    vb.DrawIndexed(D3DCore.DynamicIndexBuffer9, Overlay.NextOverlayVertex, Overlay.NextOverlayIndex);
    D3DCore.CountDraw(D3DPT_TRIANGLELIST, static_cast<uint32_t>(Overlay.NextOverlayIndex / 3),
                      static_cast<uint32_t>(Overlay.NextOverlayVertex), 0);
}

void MatCore::BeginOverlay(int32_t Id)
{
    if (!VERIFY(!Overlay.OverlayStarted)) return;
    if (!VERIFY(Id >= 0 && Id < MAXOVERLAYPAGES) || !VERIFY(OverlayPage[Id].Used)) return;
    StateBlock* SB = D3DCore.StateBlocks.GetSB(OverlayPage[Id].StateBlock);
    if (!SB) return;
    D3DCore.ApplyStateBlock(SB, 0, 0);
    Overlay.CurrentOverlayPage = Id;
    if (!LockOverlay()) return;
    Overlay.OverlayStarted = true;
}

void MatCore::EndOverlay()
{
    if (!Overlay.OverlayStarted) return;
    DrawOverlayBatch(Overlay.NextOverlayVertex != 0 && Overlay.NextOverlayIndex != 0);
    Overlay.OverlayStarted = false;
}

void MatCore::OverlayQuad(int32_t SpriteNum, float X, float Y, float ScaleX, float ScaleY, DWORD Colour)
{
    // Outside Begin/End there is nothing locked to write into.
    if (!VERIFY(Overlay.OverlayStarted)) return;
    const OverlayPageInfo& page = OverlayPage[Overlay.CurrentOverlayPage];
    if (!VERIFY(SpriteNum >= 0 && SpriteNum < page.Sprites)) return;
    const bool DualTexture = page.Textures == 2;
    ASSERT(!(Overlay.OverlayMatrixUsed[1] && !DualTexture));
    const OverlaySpriteRect& s = page.Sprite[SpriteNum];
    float uv[2][4][2];
    for (int k = 0; k < 2; ++k) {
        const float corners[4][2] = {{s.U0, s.V0}, {s.U1, s.V0}, {s.U0, s.V1}, {s.U1, s.V1}};
        for (int c = 0; c < 4; ++c) {
            float u = corners[c][0], v = corners[c][1];
            if (Overlay.OverlayMatrixUsed[k]) {
                const float* m = Overlay.OverlayMatrix[k];
                const float tu = u * m[0] + v * m[3] + m[6];
                v = u * m[1] + v * m[4] + m[7];
                u = tu;
            }
            uv[k][c][0] = u;
            uv[k][c][1] = v;
        }
    }
    // The viewport origin is added here only: sprites and text pass screen positions through.
    const float Left = static_cast<float>(D3DCore.LastViewPort.X) + X + 0.5f;
    const float Top = static_cast<float>(D3DCore.LastViewPort.Y) + Y + 0.5f;
    const float Right = Left + static_cast<float>(s.Width) * ScaleX;
    const float Bottom = Top + static_cast<float>(s.Height) * ScaleY;
    const float positions[4][2] = {{Left, Top}, {Right, Top}, {Left, Bottom}, {Right, Bottom}};
    const size_t stride = DualTexture ? 36 : 28;
    BYTE* out = Overlay.Vertices + static_cast<size_t>(Overlay.NextOverlayVertex) * stride;
    for (int c = 0; c < 4; ++c, out += stride) {
        const float head[4] = {positions[c][0], positions[c][1], 0.01f, 100.0f};
        std::memcpy(out, head, sizeof head);
        std::memcpy(out + 16, &Colour, 4);
        std::memcpy(out + 20, uv[0][c], 8);
        if (DualTexture) std::memcpy(out + 28, uv[1][c], 8);
    }
    const uint16_t base = static_cast<uint16_t>(Overlay.NextOverlayVertex);
    const uint16_t quad[6] = {base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2),
                              static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 1),
                              static_cast<uint16_t>(base + 3)};
    std::memcpy(Overlay.Indices + Overlay.NextOverlayIndex, quad, sizeof quad);
    Overlay.NextOverlayVertex += 4;
    Overlay.NextOverlayIndex += 6;
    if (OVERLAYVERTICES - Overlay.NextOverlayVertex >= 4) return;
    ASSERT(Overlay.NextOverlayVertex == OVERLAYVERTICES);
    ASSERT(Overlay.NextOverlayIndex == OVERLAYINDICES);
    DrawOverlayBatch(true);
    if (!LockOverlay()) Overlay.OverlayStarted = false;
}

void MatCore::OverlaySprite(int32_t SpriteNum, float X, float Y, float ScaleX, float ScaleY, DWORD Colour)
{
    if (!VERIFY(Overlay.OverlayStarted)) return;
    const OverlayPageInfo& page = OverlayPage[Overlay.CurrentOverlayPage];
    if (!VERIFY(SpriteNum >= 0) || !VERIFY(SpriteNum < OverlayPage[Overlay.CurrentOverlayPage].Sprites)) return;
    const OverlaySpriteRect& s = page.Sprite[SpriteNum];
    OverlayQuad(SpriteNum, X - static_cast<float>(s.Width) * ScaleX * 0.5f,
                Y - static_cast<float>(s.Height) * ScaleY * 0.5f, ScaleX, ScaleY, Colour);
}

void MatCore::OverlayText(char* Text, float X, float Y, float ScaleX, float ScaleY, DWORD Colour)
{
    if (!VERIFY(Overlay.OverlayStarted) || !Text) return;
    const OverlayPageInfo* Op = &OverlayPage[Overlay.CurrentOverlayPage];
    if (!VERIFY(Op->Font)) return;
    float pen = X;
    for (char* p = Text; *p; ++p) {
        // The right single quote is written back as the apostrophe the fonts have.
        if (static_cast<unsigned char>(*p) == 146) *p = 39;
        const int32_t sprite = Op->CharMap[static_cast<unsigned char>(*p)];
        OverlayQuad(sprite, pen, Y, ScaleX, ScaleY, Colour);
        if (!Overlay.OverlayStarted) return;
        pen += static_cast<float>(Op->Widths[sprite]) * ScaleX;
    }
}

void MatCore::SetOverlayTextureMatrix(int32_t Coord, const float matrix[9])
{
    if (!VERIFY(Coord >= 0 && Coord <= 1) || !matrix) return;
    const int32_t current = Overlay.CurrentOverlayPage;
    if (current >= 0 && current < MAXOVERLAYPAGES && OverlayPage[current].Textures == 1 && Coord == 1) {
        assertFailedMsg("Can't set second texture matrix. Only 1 texture!",
                        "!(OverlayPage[CurrentOverlayPage].Textures == 1 && Coord == 1)", __FILE__, __LINE__);
        return;
    }
    std::memcpy(Overlay.OverlayMatrix[Coord], matrix, sizeof(Overlay.OverlayMatrix[Coord]));
    Overlay.OverlayMatrixUsed[Coord] = true;
}

void MatCore::ClearOverlayTextureMatrix(int32_t Coord)
{
    if (!VERIFY(Coord >= 0 && Coord <= 1)) return;
    Overlay.OverlayMatrixUsed[Coord] = false;
}
