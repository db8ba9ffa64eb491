// Bakes a TrueType font into the game's two bitmap-font forms: white glyphs whose alpha is their
// coverage, in 32-bit TGA files (rows top first).
//
//   fontbake grid <font.ttf> <out.tga>
//       The debug font: 16 x 8 cells of 8 x 16 pixels (a 128 x 128 texture), character code c in
//       column c mod 16 and row c / 16, each glyph centred in its cell inside a one-texel border.
//   fontbake page <font.ttf> <out.tga> <out.txt> <pixel height> <texture size>
//       An overlay font page: glyphs packed in rows, and a page file with one line per glyph,
//       "Code Ignored X Y W H Advance" (Unicode codes; the page loader maps 8364 and 376 into the
//       Windows-1252 positions).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
    int width, height;
    std::vector<unsigned char> alpha;
    Image(int w, int h) : width(w), height(h), alpha(static_cast<size_t>(w) * h, 0) {}
};

bool writeTga(const char* path, const Image& image)
{
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    unsigned char header[18] = {};
    header[2] = 2;  // true colour, uncompressed
    header[12] = static_cast<unsigned char>(image.width & 0xFF);
    header[13] = static_cast<unsigned char>(image.width >> 8);
    header[14] = static_cast<unsigned char>(image.height & 0xFF);
    header[15] = static_cast<unsigned char>(image.height >> 8);
    header[16] = 32;
    header[17] = 0x28;  // 8 alpha bits, rows top first
    std::fwrite(header, 1, sizeof(header), f);
    for (unsigned char a : image.alpha) {
        const unsigned char pixel[4] = {255, 255, 255, a};
        std::fwrite(pixel, 1, 4, f);
    }
    return std::fclose(f) == 0;
}

// Copies the rendered glyph into the image with its pen at (penX, baseline).
void blit(Image& image, const FT_GlyphSlot g, int penX, int baseline, int clipX0, int clipY0, int clipX1, int clipY1)
{
    const FT_Bitmap& b = g->bitmap;
    for (unsigned row = 0; row < b.rows; ++row)
        for (unsigned col = 0; col < b.width; ++col) {
            const int x = penX + g->bitmap_left + static_cast<int>(col);
            const int y = baseline - g->bitmap_top + static_cast<int>(row);
            if (x < clipX0 || y < clipY0 || x >= clipX1 || y >= clipY1) continue;
            unsigned char& a = image.alpha[static_cast<size_t>(y) * image.width + x];
            a = std::max(a, b.buffer[row * b.pitch + col]);
        }
}

bool render(FT_Face face, unsigned long code)
{
    const FT_UInt index = FT_Get_Char_Index(face, code);
    return index != 0 && FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) == 0;
}

int grid(FT_Face face, const char* out)
{
    // A cell keeps an empty border of one texel: text drawn larger than the cells are samples
    // between texels, and a glyph touching its edge would show in its neighbours. Glyphs are
    // narrowed to the six columns inside.
    const int cellW = 8, cellH = 16;
    FT_Set_Pixel_Sizes(face, 0, 12);
    FT_Matrix narrow = {static_cast<FT_Fixed>(0.84 * 0x10000), 0, 0, 0x10000};
    FT_Set_Transform(face, &narrow, nullptr);
    const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
    Image image(16 * cellW, 8 * cellH);
    for (unsigned c = 33; c < 127; ++c) {
        if (!render(face, c)) continue;
        const int cx = static_cast<int>(c % 16) * cellW, cy = static_cast<int>(c / 16) * cellH;
        const int advance = static_cast<int>(face->glyph->advance.x >> 6);
        blit(image, face->glyph, cx + 1 + (cellW - 2 - advance) / 2, cy + ascent, cx + 1, cy + 1, cx + cellW - 1,
             cy + cellH - 1);
    }
    return writeTga(out, image) ? 0 : 1;
}

int page(FT_Face face, const char* outTga, const char* outTxt, int pixelHeight, int size)
{
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight));
    const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
    const int lineHeight = static_cast<int>((face->size->metrics.ascender - face->size->metrics.descender) >> 6) + 1;
    std::vector<unsigned long> codes;
    for (unsigned long c = 32; c < 127; ++c) codes.push_back(c);
    for (unsigned long c : {0xE9ul, 0xE8ul, 0xE0ul, 0xFCul, 0xF6ul, 0xE4ul, 0xDFul, 0xA9ul, 8364ul, 376ul})
        codes.push_back(c);
    Image image(size, size);
    std::string lines;
    int x = 0, y = 0, count = 0;
    for (unsigned long c : codes) {
        if (!render(face, c)) continue;
        const int advance = static_cast<int>(std::lround(face->glyph->advance.x / 64.0));
        const int left = std::min(0, face->glyph->bitmap_left);
        const int w = std::max(advance, face->glyph->bitmap_left + static_cast<int>(face->glyph->bitmap.width)) - left;
        if (x + w + 1 > size) {
            x = 0;
            y += lineHeight + 1;
        }
        if (y + lineHeight > size) {
            std::fprintf(stderr, "fontbake: the glyphs do not fit in %d x %d\n", size, size);
            return 1;
        }
        blit(image, face->glyph, x - left, y + ascent, x, y, x + w, y + lineHeight);
        lines += std::to_string(c) + " 0 " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) +
                 " " + std::to_string(lineHeight) + " " + std::to_string(advance) + "\n";
        x += w + 1;
        ++count;
    }
    if (!writeTga(outTga, image)) return 1;
    FILE* f = std::fopen(outTxt, "w");
    if (!f) return 1;
    std::fprintf(f, "; font page made by tools/fontbake from %s %s, %d pixels high\n", face->family_name,
                 face->style_name, pixelHeight);
    std::fprintf(f, "; count, then Code Ignored X Y W H Advance per glyph (%d x %d texture)\n%d\n", size, size, count);
    std::fputs(lines.c_str(), f);
    return std::fclose(f) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: fontbake grid <font.ttf> <out.tga>\n"
                             "       fontbake page <font.ttf> <out.tga> <out.txt> <pixel height> <texture size>\n");
        return 2;
    }
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) || FT_New_Face(library, argv[2], 0, &face)) {
        std::fprintf(stderr, "fontbake: cannot read %s\n", argv[2]);
        return 1;
    }
    int result = 2;
    if (std::strcmp(argv[1], "grid") == 0) result = grid(face, argv[3]);
    if (std::strcmp(argv[1], "page") == 0 && argc == 7)
        result = page(face, argv[3], argv[4], std::atoi(argv[5]), std::atoi(argv[6]));
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return result;
}
