// Fixed-function lighting drawn through OpenGL, against colours worked out from the device's
// documented formulas (ambient, diffuse N.L, specular by the half vector to the power, attenuation
// 1 / (a0 + a1 d + a2 d^2), spot falloff between the cones). Every case lights a screen-filling quad
// whose four corners light alike (lights on the view axis, one normal), so the centre pixel is the
// lit colour of the corner (1, 1, 0.5).
#include "HeadlessDevice.h"

#include <cmath>
#include <initializer_list>
#include <string>
#include <tuple>

namespace {

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse, specular;
};
const DWORD LIT_FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;
const float Z = 0.5f;
const DWORD VERTEX_DIFFUSE = 0xFF4080C0u, VERTEX_SPECULAR = 0x00204060u;

D3DCOLORVALUE rgb(float r, float g, float b, float a = 1.0f) { return D3DCOLORVALUE{r, g, b, a}; }

float channel(DWORD c, int shift) { return ((c >> shift) & 0xFF) / 255.0f; }

// A world matrix: identity but for the entries given (row, column, value).
D3DMATRIX worldMatrix(std::initializer_list<std::tuple<int, int, float>> entries = {})
{
    D3DMATRIX m{};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1;
    for (auto [r, c, v] : entries) m.m[r][c] = v;
    return m;
}

struct Scene {
    std::string name;
    float want[3];  // the lit colour
    D3DMATERIAL9 material{};
    std::vector<D3DLIGHT9> lights;
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states;
    D3DMATRIX world = worldMatrix();
    bool normals = true;
    DWORD colourArg = D3DTA_DIFFUSE;  // what stage 0 selects of the lit vertex
};

D3DLIGHT9 light(D3DLIGHTTYPE type, D3DCOLORVALUE diffuse, D3DVECTOR position, D3DVECTOR direction)
{
    D3DLIGHT9 l{};
    l.Type = type, l.Diffuse = diffuse, l.Position = position, l.Direction = direction;
    l.Range = 100.0f, l.Attenuation0 = 1.0f, l.Falloff = 1.0f, l.Theta = 0.5f, l.Phi = 1.0f;
    return l;
}

class LightingTest : public HeadlessDevice {
protected:
    DWORD draw(const Scene& s)
    {
        m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        m_device->BeginScene();
        m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        m_device->SetRenderState(D3DRS_ZENABLE, FALSE);
        for (DWORD i = 0; i < 8; ++i) m_device->LightEnable(i, FALSE);
        // The device's defaults, then the scene's own states.
        const std::pair<D3DRENDERSTATETYPE, DWORD> defaults[] = {
            {D3DRS_LIGHTING, TRUE}, {D3DRS_AMBIENT, 0}, {D3DRS_COLORVERTEX, TRUE}, {D3DRS_LOCALVIEWER, TRUE},
            {D3DRS_NORMALIZENORMALS, FALSE}, {D3DRS_SPECULARENABLE, FALSE},
            {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
            {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL}, {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL}};
        for (const auto& [state, value] : defaults) m_device->SetRenderState(state, value);
        for (const auto& [state, value] : s.states) m_device->SetRenderState(state, value);
        m_device->SetMaterial(&s.material);
        for (DWORD i = 0; i < s.lights.size(); ++i) {
            // A light never described (slot 7 never is) is the device's default one.
            if (s.lights[i].Type == 0) {
                m_device->LightEnable(7, TRUE);
                continue;
            }
            m_device->SetLight(i, &s.lights[i]);
            m_device->LightEnable(i, TRUE);
        }
        m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        m_device->SetTextureStageState(0, D3DTSS_COLORARG1, s.colourArg);
        m_device->SetTransform(D3DTS_WORLD, &s.world);
        const float nz = s.normals ? -1.0f : 0.0f;
        const LitVertex quad[4] = {{-1, 1, Z, 0, 0, nz, VERTEX_DIFFUSE, VERTEX_SPECULAR},
                                   {1, 1, Z, 0, 0, nz, VERTEX_DIFFUSE, VERTEX_SPECULAR},
                                   {-1, -1, Z, 0, 0, nz, VERTEX_DIFFUSE, VERTEX_SPECULAR},
                                   {1, -1, Z, 0, 0, nz, VERTEX_DIFFUSE, VERTEX_SPECULAR}};
        m_device->SetFVF(s.normals ? LIT_FVF : (D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR));
        if (s.normals) {
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(LitVertex));
        } else {
            struct Bare {
                float x, y, z;
                DWORD diffuse, specular;
            } bare[4];
            for (int i = 0; i < 4; ++i) bare[i] = {quad[i].x, quad[i].y, Z, VERTEX_DIFFUSE, VERTEX_SPECULAR};
            m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, bare, sizeof(Bare));
        }
        m_device->EndScene();
        m_device->Present(nullptr, nullptr, nullptr, nullptr);
        return front(W / 2, H / 2);
    }
};

TEST_F(LightingTest, LitQuadsMatchTheDocumentedFormulas)
{
    D3DMATERIAL9 plain{};
    plain.Diffuse = rgb(0.5f, 0.25f, 1.0f), plain.Ambient = rgb(0.2f, 0.4f, 0.6f);
    plain.Specular = rgb(1.0f, 0.5f, 0.25f), plain.Emissive = rgb(0.05f, 0.0f, 0.1f), plain.Power = 4.0f;
    const D3DCOLORVALUE white = rgb(1, 1, 1);
    D3DLIGHT9 slanted = light(D3DLIGHT_DIRECTIONAL, rgb(1, 0.8f, 0.5f), {}, {0, 0.6f, 0.8f});
    slanted.Ambient = rgb(0.1f, 0.2f, 0.3f);
    D3DLIGHT9 point = light(D3DLIGHT_POINT, white, {0, 0, -1}, {});
    point.Attenuation0 = 0.5f, point.Attenuation1 = 0.25f, point.Attenuation2 = 0.1f;
    point.Ambient = rgb(0.3f, 0.3f, 0.3f);
    D3DLIGHT9 outOfRange = point, inRange = point;
    outOfRange.Range = 2.0f;  // the corners lie 2.06 away
    inRange.Range = 2.1f;
    D3DLIGHT9 spot = light(D3DLIGHT_SPOT, white, {0, 0, -1}, {0, 0, 2});
    spot.Theta = 2 * std::acos(0.7f);  // the corners' angle has cosine 0.728: inside the cone
    spot.Phi = 2 * std::acos(0.6f);
    D3DLIGHT9 penumbra = spot, outside = spot;
    penumbra.Theta = 0.5f, penumbra.Falloff = 2.0f;  // between the cones, falling off squared
    outside.Theta = 0.5f, outside.Phi = 1.0f;
    D3DLIGHT9 shiny = light(D3DLIGHT_DIRECTIONAL, rgb(0.5f, 0.5f, 0.5f), {}, {0, 0, 1});
    shiny.Specular = rgb(1, 1, 1);
    D3DLIGHT9 unset{};  // enabled without a description: the device's default light
    const D3DMATRIX flattened = worldMatrix({{2, 2, 1 / 1.5f}});
    using RS = std::pair<D3DRENDERSTATETYPE, DWORD>;
    const RS sourcesFromVertex[] = {{D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1}, {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR2}};
    const Scene scenes[] = {
        {"directional, ambient and emissive", {0.2959f, 0.4515f, 0.6565f}, plain, {slanted}, {{D3DRS_AMBIENT, 0xFF202020}}},
        {"material colours only", {0.47f, 0.24f, 0.68f}, plain, {slanted}, {{D3DRS_COLORVERTEX, FALSE}}},
        {"point light attenuated", {0.3442f, 0.2096f, 0.7301f}, plain, {point}, {{D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL}}},
        {"point light out of range", {0.2708f, 0.4013f, 0.5812f}, plain, {outOfRange, slanted}, {}},
        {"point light just in range", {0.3442f, 0.2096f, 0.7301f}, plain, {inRange}, {{D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL}}},

        {"spot inside the cone", {0.2326f, 0.3652f, 0.6478f}, plain, {spot}, {}},
        {"spot in the penumbra", {0.0718f, 0.0437f, 0.1655f}, plain, {penumbra}, {}},
        {"spot outside the cone", {0.1002f, 0.1004f, 0.2506f}, plain, {outside}, {{D3DRS_AMBIENT, 0xFF404040}}},
        {"vertex colours as sources", {0.3514f, 0.6726f, 0.9035f}, plain, {slanted}, {sourcesFromVertex[0], sourcesFromVertex[1]}},
        {"specular, local viewer", {0.6199f, 0.4732f, 0.5876f}, plain, {shiny},
         {{D3DRS_SPECULARENABLE, TRUE}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL}}},
        {"specular, distant viewer", {1.0f, 0.751f, 0.7265f}, plain, {shiny},
         {{D3DRS_SPECULARENABLE, TRUE}, {D3DRS_LOCALVIEWER, FALSE}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL}}},
        {"specular from the vertex", {0.2313f, 0.3625f, 0.6438f}, plain, {shiny},
         {{D3DRS_SPECULARENABLE, TRUE}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2}}},
        // Normals go through the inverse transpose of the whole world-view matrix: flattened along z
        // (normals 1.5 long), with z feeding w (4 / 3 long), and singular (its cofactors: facing out
        // of the plane it is flattened into).
        {"scaled normals", {0.2382f, 0.3765f, 0.6647f}, plain, {shiny}, {}, flattened},
        {"scaled normals normalised", {0.1755f, 0.251f, 0.4765f}, plain, {shiny}, {{D3DRS_NORMALIZENORMALS, TRUE}}, flattened},
        {"non-affine world", {0.2173f, 0.3347f, 0.602f}, plain, {shiny}, {}, worldMatrix({{2, 3, 0.5f}, {3, 2, 0.5f}})},
        {"singular world", {0.1755f, 0.251f, 0.4765f}, plain, {shiny}, {}, worldMatrix({{2, 2, 0.0f}})},
        {"no normals", {0.0951f, 0.1302f, 0.3553f}, plain, {slanted}, {{D3DRS_AMBIENT, 0xFF202020}}, worldMatrix(), false},
        {"no normals, the material's alpha", {1, 1, 1}, plain, {slanted}, {{D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL}},
         worldMatrix(), false, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE},
        {"the default light", {0.55f, 0.25f, 1.0f}, plain, {unset}, {{D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL}}},
    };
    for (const Scene& s : scenes) {
        const DWORD got = draw(s);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(channel(got, 16 - 8 * k), s.want[k], 2.5f / 255) << s.name << " channel " << k << std::hex << " " << got;
    }

    // Off, the vertex colour is drawn as it is.
    Scene off{"off", {}, plain, {slanted}, {{D3DRS_LIGHTING, FALSE}}};
    EXPECT_EQ(draw(off) & 0xFFFFFF, VERTEX_DIFFUSE & 0xFFFFFF);
}

}  // namespace
