// The material library brought up through its front door on the scripted card, with helpers to
// write materials and textures into the test's data folder and to watch the loading screen's text.
#pragma once

#include "MatFixture.h"
#include "matcore9/Forwarders.h"

#include <algorithm>
#include <string>
#include <vector>

inline std::vector<std::string>& printedTexts()
{
    static std::vector<std::string> texts;
    return texts;
}

// Answers the fatal-error screen's wait for a key after a number of polls.
class LibraryHost : public FrameHost {
public:
    int PollsBeforeKey = 0;
    int Polls = 0;
    bool TakeInput() override { return ++Polls > PollsBeforeKey; }
};

class LibraryFixture : public MatFixture {
protected:
    void SetUp() override
    {
        MatFixture::SetUp();
        D3DCore::SetHost(&m_libraryHost);
        printedTexts().clear();
        D3DCore::SetDebugTextObserver([](const char* text, float, float, float) { printedTexts().push_back(text); });
    }

    void TearDown() override
    {
        D3DCore::SetDebugTextObserver(nullptr);
        MatCore.SubstituteTextures = false;
        MatFixture::TearDown();
    }

    // A 32-bit TGA of one colour.
    void texture(const std::string& name, int width, int height, uint32_t argb = 0xFFFFFFFFu)
    {
        std::string tga(18, '\0');
        tga[2] = 2;
        tga[12] = static_cast<char>(width & 0xFF), tga[13] = static_cast<char>(width >> 8);
        tga[14] = static_cast<char>(height & 0xFF), tga[15] = static_cast<char>(height >> 8);
        tga[16] = 32;
        tga[17] = 0x28;
        for (int i = 0; i < width * height; ++i)
            for (int k = 0; k < 4; ++k) tga.push_back(static_cast<char>((argb >> (8 * k)) & 0xFF));
        write(name, tga);
    }

    // A one-pass material: fvf, then the pass's stage lines ("settexture 0 0" and the like).
    static std::string material(const std::string& fvf, const std::string& stageLines, int textures = 1,
                                const std::string& shaderLines = "")
    {
        std::string formats;
        for (int t = 0; t < textures; ++t) formats += "textureformat " + std::to_string(t) + " 8888\n";
        return "shaders 1\n[shader]\npasses 1\nsimultaneoustextures " + std::to_string(textures) + "\nfvf " + fvf +
               "\nlighting FALSE\n" + formats + shaderLines +
               "[pass]\nstages 1\n" + stageLines +
               "setrenderstate zenable false\nsetrenderstate zwriteenable false\nsetrenderstate cullmode none\n"
               "setrenderstate alphablendenable true\nsetrenderstate srcblend srcalpha\n"
               "setrenderstate destblend invsrcalpha\n"
               "settexturestagestate 0 colorop modulate\nsettexturestagestate 0 colorarg1 texture\n"
               "settexturestagestate 0 colorarg2 diffuse\nsettexturestagestate 0 alphaop modulate\n"
               "settexturestagestate 0 alphaarg1 texture\nsettexturestagestate 0 alphaarg2 diffuse\n"
               "settexturestagestate 0 mipfilter none\n[end]\n[end]\n";
    }

    static TexNames names(std::initializer_list<const char*> list)
    {
        TexNames t;
        for (const char* n : list) std::snprintf(t.Name[t.TotalNames++], SB_TEXNAME_SIZE, "%s", n);
        return t;
    }

    // The material's block, or null (with the run's end caught as an exit code).
    StateBlock* load(const char* name, const TexNames& textures, DWORD* handle = nullptr, int* exitCode = nullptr)
    {
        DWORD h = SB_NONE;
        try {
            if (!MatCore.LoadMaterial(name, textures, &h)) return nullptr;
        } catch (const testsupport::ProcessExit& e) {
            if (exitCode) *exitCode = e.code;
            return nullptr;
        }
        if (handle) *handle = h;
        return D3DCore.StateBlocks.GetSB(h);
    }

    static int countPrinted(const std::string& text)
    {
        return static_cast<int>(std::count_if(printedTexts().begin(), printedTexts().end(),
                                              [&](const std::string& t) { return t.find(text) != std::string::npos; }));
    }

    LibraryHost m_libraryHost;

    static const char* diskName(const StateBlock* SB, int t)
    {
        const DiskTexture* d = D3DCore.TextureTables.GetDiskTexture(SB->DiskTexture[t]);
        return d ? d->Name : nullptr;
    }
};
