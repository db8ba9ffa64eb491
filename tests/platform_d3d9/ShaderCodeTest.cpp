// The reference device checks shader token streams and vertex declarations as it creates them.
#include "DeviceFixture.h"
#include "ShaderCode.h"

namespace {

class ShaderCodeTest : public DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        ASSERT_EQ(create(), D3D_OK);
    }

    template <class Shader, class Make>
    static HRESULT shader(Make make, const std::vector<DWORD>& tokens)
    {
        Shader* s = nullptr;
        const HRESULT hr = make(tokens.data(), &s);
        EXPECT_EQ(hr == D3D_OK, s != nullptr);
        if (s) s->Release();
        return hr;
    }
    HRESULT vertex(const std::vector<DWORD>& tokens)
    {
        auto make = [this](const DWORD* t, IDirect3DVertexShader9** s) { return device->CreateVertexShader(t, s); };
        return shader<IDirect3DVertexShader9>(make, tokens);
    }
    HRESULT pixel(const std::vector<DWORD>& tokens)
    {
        auto make = [this](const DWORD* t, IDirect3DPixelShader9** s) { return device->CreatePixelShader(t, s); };
        return shader<IDirect3DPixelShader9>(make, tokens);
    }
};

TEST_F(ShaderCodeTest, StreamsAreCheckedAgainstTheirModelAndTheCard)
{
    const DWORD END = 0xFFFF;
    struct Case {
        const char* what;
        bool pixelShader;
        std::vector<DWORD> tokens;
        bool accepted;
    } cases[] = {
        {"mov r0, v0", false, {0xFFFE0101, 0x01, 0x800F0000, 0x90E40000, END}, true},
        {"comment skipped", false, {0xFFFE0101, 0x0002FFFE, 0x01, 0x01, 0x01, 0x800F0000, 0x90E40000, END}, true},
        {"vs 2.0", false, {0xFFFE0200, END}, false},
        {"pixel stream as vertex", false, {0xFFFF0101, END}, false},
        {"unknown opcode", false, {0xFFFE0101, 0x30, 0x800F0000, 0x90E40000, END}, false},
        {"pixel opcode in vs", false, {0xFFFE0101, 0x42, 0xB00F0000, END}, false},
        {"temp r12", false, {0xFFFE0101, 0x01, 0x800F000C, 0x90E40000, END}, false},
        {"empty mask", false, {0xFFFE0101, 0x01, 0x80000000, 0x90E40000, END}, false},
        {"missing param bit", false, {0xFFFE0101, 0x01, 0x000F0000, 0x90E40000, END}, false},
        {"relative input", false, {0xFFFE0101, 0x01, 0x800F0000, 0x90E42000, END}, false},
        {"tex t0 ps 1.1", true, {0xFFFF0101, 0x42, 0xB00F0000, END}, true},
        {"tex r0 ps 1.1", true, {0xFFFF0101, 0x42, 0x800F0000, END}, false},
        {"ps 1.4 on a 1.4 card", true, {0xFFFF0104, 0x42, 0x800F0000, 0xB0E40000, END}, true},
        {"ps 2.0", true, {0xFFFF0200, END}, false},
        {"_dz outside texld", true, {0xFFFF0104, 0x01, 0x800F0000, 0x89E40001, END}, false},
        {"shift x8 in ps 1.1", true, {0xFFFF0101, 0x01, 0x830F0000, 0x90E40000, END}, false},
        {"co-issue", true, {0xFFFF0101, 0x40000001, 0x80080000, 0x90E40000, END}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ((c.pixelShader ? pixel(c.tokens) : vertex(c.tokens)) == D3D_OK, c.accepted) << c.what;
    // The reader never goes past the tokens it is given.
    d3d9shader::Program program;
    std::string error;
    const DWORD cut[] = {0xFFFE0101, 0x01, 0x800F0000, 0x90E40000, END};
    for (size_t n = 1; n < 5; ++n) EXPECT_FALSE(d3d9shader::readProgram(cut, n, program, error)) << n;
    EXPECT_TRUE(d3d9shader::readProgram(cut, 5, program, error));
    EXPECT_EQ(program.tokenCount, 5u);
    const DWORD longComment[] = {0xFFFE0101, 0x7FFFFFFE, END};
    EXPECT_FALSE(d3d9shader::readProgram(longComment, 3, program, error));

    // A card without pixel shaders takes none; one without vertex shaders takes them only when
    // it may process vertices in software.
    pt::d3d9Config().Adapters[0].DeviceTypes[0].Caps.PixelShaderVersion = D3DPS_VERSION(1, 1);
    EXPECT_EQ(pixel({0xFFFF0104, END}), D3DERR_INVALIDCALL);
    EXPECT_EQ(pixel({0xFFFF0101, END}), D3D_OK);
    pt::d3d9Config().Adapters[0].DeviceTypes[0].Caps.VertexShaderVersion = 0;
    EXPECT_EQ(vertex({0xFFFE0101, END}), D3DERR_INVALIDCALL);
    pt::setD3D9Failure("CreateVertexShader", D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(vertex({0xFFFE0101, END}), D3DERR_OUTOFVIDEOMEMORY);
}

TEST_F(ShaderCodeTest, DeclarationsNeedAnEndAndDistinctWellFormedElements)
{
    const D3DVERTEXELEMENT9 END = {0xFF, 0, 17, 0, 0, 0};
    struct Case {
        const char* what;
        std::vector<D3DVERTEXELEMENT9> elements;
        bool accepted;
    } cases[] = {
        {"two streams", {{0, 0, 2, 0, 0, 0}, {1, 0, 4, 0, 10, 0}, END}, true},
        {"same usage twice", {{0, 0, 2, 0, 0, 0}, {0, 12, 2, 0, 0, 0}, END}, false},
        {"stream 16", {{16, 0, 2, 0, 0, 0}, END}, false},
        {"type 18", {{0, 0, 18, 0, 0, 0}, END}, false},
        {"usage 14", {{0, 0, 2, 0, 14, 0}, END}, false},
        {"odd offset", {{0, 2, 2, 0, 0, 0}, END}, false},
        {"end with a type", {{0, 0, 2, 0, 0, 0}, {0xFF, 0, 2, 0, 0, 0}}, false},
    };
    for (const Case& c : cases) {
        IDirect3DVertexDeclaration9* d = nullptr;
        const HRESULT hr = device->CreateVertexDeclaration(c.elements.data(), &d);
        EXPECT_EQ(hr == D3D_OK, c.accepted) << c.what;
        if (d) {
            EXPECT_EQ(pt::d3d9DeclarationElements(d).size(), c.elements.size());
            d->Release();
        }
    }
    // No end within the 64 elements a declaration may have.
    std::vector<D3DVERTEXELEMENT9> endless(65, D3DVERTEXELEMENT9{0, 0, 0, 0, 0, 0});
    for (size_t i = 0; i < endless.size(); ++i) endless[i].UsageIndex = static_cast<BYTE>(i % 16), endless[i].Usage = static_cast<BYTE>(i / 16);
    endless[64] = END;
    IDirect3DVertexDeclaration9* d = nullptr;
    EXPECT_EQ(device->CreateVertexDeclaration(endless.data(), &d), D3DERR_INVALIDCALL);
    EXPECT_EQ(d, nullptr);
}

}  // namespace
