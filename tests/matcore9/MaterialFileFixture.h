// Material files parsed on the scripted card: files written into the test's data folder, parsed,
// and what came of it (the material, the result, the error code, or the run's end).
#pragma once

#include "MatFixture.h"
#include "d3dcore9/MaterialAnimation.h"
#include "winfile/File.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

struct ParseResult {
    bool Parsed = false;
    int Exit = -1;  // the exit code when the run would have ended
    GMaterial* GM = nullptr;
    BYTE Lit = 0, VSLit = 0;
    HRESULT Error = D3D_OK;
};

class MaterialFileFixture : public MatFixture {
protected:
    void SetUp() override
    {
        MatFixture::SetUp();
        configureCard(caps());
        // The game's enumeration, windowed at 800 x 600, with W-buffering allowed.
        ASSERT_EQ(DXSetup::Load(), 0);
        EnumFilter filter = GameEnumFilter();
        filter.AllowWBuffer = 1;
        DXSetup::SetEnumFilter(filter);
        ASSERT_TRUE(D3DCore.Init());
        const int32_t mode = D3DCore.FindMode(0, 0, 800, 600);
        D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, false, 0, 0, 0);
        ASSERT_TRUE(D3DCore.CreateDevice(false, true, 1));
        MatCore.InitRenderStates();
        testsupport::clearReports();
        MatCore.Warnings = 0;
        MatCore.LoadingText[0] = 0;
    }

    void TearDown() override
    {
        for (GMaterial* GM : m_parsed) GM->Release();
        MatFixture::TearDown();
    }

    // The card's caps before the device is made.
    virtual void configureCard(D3DCAPS9&) {}

    ParseResult parse(const std::string& name, CFile* file = nullptr)
    {
        ParseResult r;
        const std::string path = "data\\" + name;
        try {
            r.Parsed = MatCore.ParseMaterial(path.c_str(), &r.GM, &r.Lit, &r.VSLit, &r.Error, file);
        } catch (const testsupport::ProcessExit& e) {
            r.Exit = e.code;
        }
        if (r.GM) m_parsed.push_back(r.GM);
        return r;
    }

    // The card's answers to validation in turn (then D3D_OK), each pass taking `calls` calls.
    void scriptValidation(std::vector<HRESULT> answers, DWORD calls = 1)
    {
        m_answers = std::move(answers);
        platform::testing::setValidateResult([this, calls](DWORD* passes) {
            *passes = calls;
            ++m_validations;
            if (m_answers.empty()) return D3D_OK;
            const HRESULT r = m_answers.front();
            m_answers.erase(m_answers.begin());
            return r;
        });
    }

    std::vector<GMaterial*> m_parsed;
    std::vector<HRESULT> m_answers;
    int m_validations = 0;
};

inline bool hasNode(const StateList& list, DWORD type, DWORD stage, DWORD state, DWORD value)
{
    for (const StateNode* n = list.First; n; n = n->Next)
        if (n->Type == type && n->State == state && n->Value == value && (type != NODE_STAGESTATE || n->Stage == stage))
            return true;
    return false;
}

inline bool hasState(const StateList& list, DWORD type, DWORD state)
{
    for (const StateNode* n = list.First; n; n = n->Next)
        if (n->Type == type && n->State == state) return true;
    return false;
}

// A valid one-pass material around the given lines: shaderLines start at line 8, passLines at
// line 10 plus the number of shader lines.
inline std::string material(const std::string& shaderLines, const std::string& passLines,
                            const std::string& head = "shaders 1\n")
{
    return head +
           "[shader]\n"
           "passes 1\n"
           "simultaneoustextures 1\n"
           "fvf XYZ|TEX1\n"
           "lighting FALSE\n"
           "textureformat 0 8888\n" +
           shaderLines +
           "[pass]\n"
           "stages 2\n" +
           passLines +
           "settexture 0 0\n"
           "setrenderstate zenable true\n"
           "setrenderstate zwriteenable true\n"
           "setrenderstate cullmode ccw\n"
           "setrenderstate alphablendenable false\n"
           "settexturestagestate 0 colorop selectarg1\n"
           "settexturestagestate 0 alphaop selectarg1\n"
           "settexturestagestate 1 colorop disable\n"
           "settexturestagestate 1 alphaop disable\n"
           "[end]\n"
           "[end]\n";
}
