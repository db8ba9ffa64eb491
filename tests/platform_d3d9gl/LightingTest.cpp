// Fixed-function lighting drawn through OpenGL, against the device's documented formulas. Every
// case lights a screen-filling quad whose four corners light alike (lights on the view axis, one
// normal), so the centre pixel is the lit colour of any corner.
#include "HeadlessDevice.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

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

struct Scene {
    std::string name;
    D3DMATERIAL9 material{};
    std::vector<D3DLIGHT9> lights;
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states;
    float normalScale = 1.0f;  // the world matrix scales z by 1 / this; normals come out this long
    bool normals = true;
};

D3DLIGHT9 light(D3DLIGHTTYPE type, D3DCOLORVALUE diffuse, D3DVECTOR position, D3DVECTOR direction)
{
    D3DLIGHT9 l{};
    l.Type = type;
    l.Diffuse = diffuse;
    l.Position = position;
    l.Direction = direction;
    l.Range = 100.0f;
    l.Attenuation0 = 1.0f;
    l.Falloff = 1.0f;
    l.Theta = 0.5f;
    l.Phi = 1.0f;
    return l;
}

DWORD renderState(const Scene& s, D3DRENDERSTATETYPE which, DWORD value)
{
    for (const auto& [state, v] : s.states)
        if (state == which) value = v;
    return value;
}

// The lit colour of the corner (1, 1, Z), by the formulas: camera space is world space here.
void expected(const Scene& s, float out[3])
{
    const float P[3] = {1, 1, Z / s.normalScale};
    float N[3] = {0, 0, s.normals ? -s.normalScale : 0.0f};
    if (renderState(s, D3DRS_NORMALIZENORMALS, FALSE) && s.normals) N[2] = -1;
    const bool colourVertex = renderState(s, D3DRS_COLORVERTEX, TRUE) != 0;
    auto source = [&](D3DRENDERSTATETYPE which, DWORD fallback, const D3DCOLORVALUE& m, int k) {
        const DWORD from = colourVertex ? renderState(s, which, fallback) : 0;
        const float mc[3] = {m.r, m.g, m.b};
        return from == 1 ? channel(VERTEX_DIFFUSE, 16 - 8 * k) : from == 2 ? channel(VERTEX_SPECULAR, 16 - 8 * k) : mc[k];
    };
    auto dot = [](const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    auto unit = [&](float* v) {
        const float l = std::sqrt(dot(v, v));
        for (int k = 0; k < 3; ++k) v[k] /= l;
    };
    float amb[3] = {}, dif[3] = {}, spe[3] = {};
    for (const D3DLIGHT9& l : s.lights) {
        float L[3] = {-l.Direction.x, -l.Direction.y, -l.Direction.z}, factor = 1;
        if (l.Type != D3DLIGHT_DIRECTIONAL) {
            const float d[3] = {l.Position.x - P[0], l.Position.y - P[1], l.Position.z - P[2]};
            const float dist = std::sqrt(dot(d, d));
            if (dist > l.Range) continue;
            for (int k = 0; k < 3; ++k) L[k] = d[k] / dist;
            factor = 1 / (l.Attenuation0 + l.Attenuation1 * dist + l.Attenuation2 * dist * dist);
            if (l.Type == D3DLIGHT_SPOT) {
                float D[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
                unit(D);
                const float rho = -dot(D, L), inner = std::cos(l.Theta / 2), outer = std::cos(l.Phi / 2);
                factor *= rho > inner ? 1 : rho <= outer ? 0 : std::pow((rho - outer) / (inner - outer), l.Falloff);
            }
        } else {
            unit(L);
        }
        const float nl = std::max(0.0f, dot(N, L));
        float V[3] = {0, 0, -1};
        if (renderState(s, D3DRS_LOCALVIEWER, TRUE)) {
            V[0] = -P[0], V[1] = -P[1], V[2] = -P[2];
            unit(V);
        }
        float H[3] = {V[0] + L[0], V[1] + L[1], V[2] + L[2]};
        unit(H);
        const float nh = nl > 0 ? std::max(0.0f, dot(N, H)) : 0.0f;
        const float la[3] = {l.Ambient.r, l.Ambient.g, l.Ambient.b}, ld[3] = {l.Diffuse.r, l.Diffuse.g, l.Diffuse.b},
                    ls[3] = {l.Specular.r, l.Specular.g, l.Specular.b};
        for (int k = 0; k < 3; ++k) {
            amb[k] += factor * la[k];
            dif[k] += factor * nl * ld[k];
            spe[k] += nh > 0 ? factor * std::pow(nh, s.material.Power) * ls[k] : 0.0f;
        }
    }
    const DWORD global = renderState(s, D3DRS_AMBIENT, 0);
    const bool specular = renderState(s, D3DRS_SPECULARENABLE, FALSE) != 0;
    for (int k = 0; k < 3; ++k) {
        const float colour = source(D3DRS_EMISSIVEMATERIALSOURCE, 0, s.material.Emissive, k) +
                             source(D3DRS_AMBIENTMATERIALSOURCE, 0, s.material.Ambient, k) *
                                 (channel(global, 16 - 8 * k) + amb[k]) +
                             source(D3DRS_DIFFUSEMATERIALSOURCE, 1, s.material.Diffuse, k) * dif[k];
        out[k] = std::min(1.0f, colour) +
                 (specular ? std::min(1.0f, source(D3DRS_SPECULARMATERIALSOURCE, 2, s.material.Specular, k) * spe[k])
                           : 0.0f);
        out[k] = std::min(1.0f, out[k]);
    }
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
        D3DMATRIX world{};
        world.m[0][0] = world.m[1][1] = world.m[3][3] = 1;
        world.m[2][2] = 1 / s.normalScale;
        m_device->SetTransform(D3DTS_WORLD, &world);
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
    plain.Diffuse = rgb(0.5f, 0.25f, 1.0f);
    plain.Ambient = rgb(0.2f, 0.4f, 0.6f);
    plain.Specular = rgb(1.0f, 0.5f, 0.25f);
    plain.Emissive = rgb(0.05f, 0.0f, 0.1f);
    plain.Power = 4.0f;
    const D3DCOLORVALUE white = rgb(1, 1, 1);
    D3DLIGHT9 slanted = light(D3DLIGHT_DIRECTIONAL, rgb(1, 0.8f, 0.5f), {}, {0, 0.6f, 0.8f});
    slanted.Ambient = rgb(0.1f, 0.2f, 0.3f);
    D3DLIGHT9 point = light(D3DLIGHT_POINT, white, {0, 0, -1}, {});
    point.Attenuation0 = 0.5f, point.Attenuation1 = 0.25f, point.Attenuation2 = 0.1f;
    point.Ambient = rgb(0.3f, 0.3f, 0.3f);
    D3DLIGHT9 outOfRange = point;
    outOfRange.Range = 2.0f;  // the corners lie 2.06 away
    D3DLIGHT9 spot = light(D3DLIGHT_SPOT, white, {0, 0, -1}, {0, 0, 2});
    spot.Theta = 2 * std::acos(0.7f);  // the corners' angle has cosine 0.728: inside the cone
    spot.Phi = 2 * std::acos(0.6f);
    D3DLIGHT9 penumbra = spot;
    penumbra.Theta = 0.5f;  // between the cones, falling off squared
    penumbra.Falloff = 2.0f;
    D3DLIGHT9 outside = spot;
    outside.Theta = 0.5f, outside.Phi = 1.0f;
    D3DLIGHT9 shiny = light(D3DLIGHT_DIRECTIONAL, rgb(0.5f, 0.5f, 0.5f), {}, {0, 0, 1});
    shiny.Specular = rgb(1, 1, 1);
    D3DLIGHT9 unset{};  // enabled without a description: the device's default light
    using RS = std::pair<D3DRENDERSTATETYPE, DWORD>;
    const RS sourcesFromVertex[] = {{D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1}, {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR2}};
    const Scene scenes[] = {
        {"directional, ambient and emissive", plain, {slanted}, {{D3DRS_AMBIENT, 0xFF202020}}},
        {"material colours only", plain, {slanted}, {{D3DRS_COLORVERTEX, FALSE}}},
        {"point light attenuated", plain, {point}, {{D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL}}},
        {"point light out of range", plain, {outOfRange, slanted}, {}},
        {"spot inside the cone", plain, {spot}, {}},
        {"spot in the penumbra", plain, {penumbra}, {}},
        {"spot outside the cone", plain, {outside}, {{D3DRS_AMBIENT, 0xFF404040}}},
        {"vertex colours as sources", plain, {slanted}, {sourcesFromVertex[0], sourcesFromVertex[1]}},
        {"specular, local viewer", plain, {shiny}, {{D3DRS_SPECULARENABLE, TRUE}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL}}},
        {"specular, distant viewer", plain, {shiny},
         {{D3DRS_SPECULARENABLE, TRUE}, {D3DRS_LOCALVIEWER, FALSE}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL}}},
        {"specular from the vertex", plain, {shiny}, {{D3DRS_SPECULARENABLE, TRUE}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2}}},
        {"scaled normals", plain, {shiny}, {}, 1.5f},
        {"scaled normals normalised", plain, {shiny}, {{D3DRS_NORMALIZENORMALS, TRUE}}, 1.5f},
        {"no normals", plain, {slanted}, {{D3DRS_AMBIENT, 0xFF202020}}, 1.0f, false},
        {"the default light", plain, {unset}, {{D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL}}},
    };
    for (Scene s : scenes) {
        SCOPED_TRACE(s.name);
        if (s.lights[0].Type == 0) s.lights[0] = light(D3DLIGHT_DIRECTIONAL, white, {}, {0, 0, 1});
        float want[3];
        expected(s, want);
        if (s.name == "the default light") s.lights[0] = unset;
        const DWORD got = draw(s);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(channel(got, 16 - 8 * k), want[k], 2.5f / 255) << "channel " << k;
    }

    // Off, the vertex colour is drawn as it is.
    Scene off{"off", plain, {slanted}, {{D3DRS_LIGHTING, FALSE}}};
    EXPECT_EQ(draw(off) & 0xFFFFFF, VERTEX_DIFFUSE & 0xFFFFFF);
}

}  // namespace
