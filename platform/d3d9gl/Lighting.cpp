#include "d3d9gl/Lighting.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>

namespace d3d9gl {

namespace {

const char* sourceOf(uint8_t source, const char* material)
{
    switch (source) {
    case SOURCE_DIFFUSE: return "aDiffuse";
    case SOURCE_SPECULAR: return "aSpecular";
    default: return material;
    }
}

}  // namespace

std::string generateLighting(const FixedFunctionKey& key)
{
    std::string s = "uniform int uLightCount;\n"
                    "uniform int uLightType[8];\n"
                    "uniform vec4 uLightDiffuse[8];\n"
                    "uniform vec4 uLightSpecular[8];\n"
                    "uniform vec4 uLightAmbient[8];\n"
                    "uniform vec3 uLightPosition[8];\n"
                    "uniform vec3 uLightDirection[8];\n"
                    "uniform vec4 uLightAttenuation[8];\n"  // a0, a1, a2, range
                    "uniform vec3 uLightSpot[8];\n"         // cos(theta / 2), cos(phi / 2), falloff
                    "uniform vec4 uMatDiffuse;\n"
                    "uniform vec4 uMatAmbient;\n"
                    "uniform vec4 uMatSpecular;\n"
                    "uniform vec4 uMatEmissive;\n"
                    "uniform float uMatPower;\n"
                    "uniform vec4 uGlobalAmbient;\n"
                    "void lightVertex(vec3 eye, vec3 n, out vec4 diffuse, out vec4 specular)\n"
                    "{\n"
                    "    vec3 ambientSum = vec3(0.0), diffuseSum = vec3(0.0), specularSum = vec3(0.0);\n"
                    "    vec3 toViewer = uLocalViewer ? normalize(-eye) : vec3(0.0, 0.0, -1.0);\n"
                    "    for (int i = 0; i < uLightCount; ++i) {\n"
                    "        vec3 L;\n"
                    "        float factor = 1.0;\n"
                    "        if (uLightType[i] == 3) {\n"
                    "            L = -uLightDirection[i];\n"
                    "        } else {\n"
                    "            vec3 d = uLightPosition[i] - eye;\n"
                    "            float dist = length(d);\n"
                    "            if (dist > uLightAttenuation[i].w) continue;\n"
                    "            L = dist > 0.0 ? d / dist : vec3(0.0);\n"
                    "            float a = uLightAttenuation[i].x + uLightAttenuation[i].y * dist +\n"
                    "                      uLightAttenuation[i].z * dist * dist;\n"
                    "            factor = a > 0.0 ? 1.0 / a : 1.0;\n"
                    "            if (uLightType[i] == 2) {\n"
                    "                float rho = dot(uLightDirection[i], -L);\n"
                    "                vec3 sp = uLightSpot[i];\n"
                    "                if (rho <= sp.y) continue;\n"
                    "                if (rho <= sp.x) factor *= pow((rho - sp.y) / (sp.x - sp.y), sp.z);\n"
                    "            }\n"
                    "        }\n"
                    "        ambientSum += factor * uLightAmbient[i].rgb;\n"
                    "        float nl = dot(n, L);\n"
                    "        if (nl <= 0.0) continue;\n"
                    "        diffuseSum += factor * nl * uLightDiffuse[i].rgb;\n";
    if (key.specularAdd)
        s += "        float nh = dot(n, normalize(toViewer + L));\n"
             "        if (nh > 0.0) specularSum += factor * (uMatPower > 0.0 ? pow(nh, uMatPower) : 1.0) * "
             "uLightSpecular[i].rgb;\n";
    s += "    }\n";
    s += std::string("    vec4 md = ") + sourceOf(key.diffuseSource, "uMatDiffuse") + ";\n" +
         "    vec4 ma = " + sourceOf(key.ambientSource, "uMatAmbient") + ";\n" +
         "    vec4 ms = " + sourceOf(key.specularSource, "uMatSpecular") + ";\n" +
         "    vec4 me = " + sourceOf(key.emissiveSource, "uMatEmissive") + ";\n";
    s += "    diffuse = vec4(clamp(me.rgb + ma.rgb * (uGlobalAmbient.rgb + ambientSum) + md.rgb * diffuseSum, 0.0, 1.0),\n"
         "                   clamp(md.a, 0.0, 1.0));\n";
    const char* specularAlpha = key.vertexColours & VERTEX_SPECULAR ? "aSpecular.a" : "0.0";
    s += std::string("    specular = vec4(clamp(ms.rgb * specularSum, 0.0, 1.0), ") + specularAlpha + ");\n}\n";
    return s;
}

void LightingLocations::locate(uint32_t program)
{
    // Each is looked up alone: a program that reads only the material's alpha loses the lights.
    count = glGetUniformLocation(program, "uLightCount");
    type = glGetUniformLocation(program, "uLightType");
    diffuse = glGetUniformLocation(program, "uLightDiffuse");
    specular = glGetUniformLocation(program, "uLightSpecular");
    ambient = glGetUniformLocation(program, "uLightAmbient");
    position = glGetUniformLocation(program, "uLightPosition");
    direction = glGetUniformLocation(program, "uLightDirection");
    attenuation = glGetUniformLocation(program, "uLightAttenuation");
    spot = glGetUniformLocation(program, "uLightSpot");
    matDiffuse = glGetUniformLocation(program, "uMatDiffuse");
    matAmbient = glGetUniformLocation(program, "uMatAmbient");
    matSpecular = glGetUniformLocation(program, "uMatSpecular");
    matEmissive = glGetUniformLocation(program, "uMatEmissive");
    matPower = glGetUniformLocation(program, "uMatPower");
    globalAmbient = glGetUniformLocation(program, "uGlobalAmbient");
}

void LightingLocations::apply(const LightingState* state, const float* view, uint32_t globalColour) const
{
    if (count < 0 && matDiffuse < 0 && matAmbient < 0 && matSpecular < 0 && matEmissive < 0 && globalAmbient < 0) return;
    static const LightingState none;
    const LightingState& st = state ? *state : none;
    const int n = static_cast<int>(std::min<uint32_t>(st.lightCount, MAX_ACTIVE_LIGHTS));
    GLint types[MAX_ACTIVE_LIGHTS] = {};
    float dif[MAX_ACTIVE_LIGHTS * 4] = {}, spe[MAX_ACTIVE_LIGHTS * 4] = {}, amb[MAX_ACTIVE_LIGHTS * 4] = {};
    float pos[MAX_ACTIVE_LIGHTS * 3] = {}, dir[MAX_ACTIVE_LIGHTS * 3] = {};
    float att[MAX_ACTIVE_LIGHTS * 4] = {}, spt[MAX_ACTIVE_LIGHTS * 3] = {};
    for (int i = 0; i < n; ++i) {
        const LightRecord& l = st.lights[i];
        types[i] = static_cast<GLint>(l.type);
        for (int k = 0; k < 4; ++k) {
            dif[i * 4 + k] = l.diffuse[k];
            spe[i * 4 + k] = l.specular[k];
            amb[i * 4 + k] = l.ambient[k];
        }
        // Row vectors: p' = p V, directions without the translation row.
        float d[3] = {};
        for (int c = 0; c < 3; ++c) {
            pos[i * 3 + c] = l.position[0] * view[c] + l.position[1] * view[4 + c] + l.position[2] * view[8 + c] + view[12 + c];
            d[c] = l.direction[0] * view[c] + l.direction[1] * view[4 + c] + l.direction[2] * view[8 + c];
        }
        const float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        for (int c = 0; c < 3; ++c) dir[i * 3 + c] = length > 0 ? d[c] / length : 0.0f;
        att[i * 4 + 0] = l.attenuation[0];
        att[i * 4 + 1] = l.attenuation[1];
        att[i * 4 + 2] = l.attenuation[2];
        att[i * 4 + 3] = l.range;
        spt[i * 3 + 0] = std::cos(l.theta * 0.5f);
        spt[i * 3 + 1] = std::cos(l.phi * 0.5f);
        spt[i * 3 + 2] = l.falloff;
    }
    glUniform1i(count, n);
    if (n > 0 && count >= 0) {
        glUniform1iv(type, n, types);
        glUniform4fv(diffuse, n, dif);
        glUniform4fv(specular, n, spe);
        glUniform4fv(ambient, n, amb);
        glUniform3fv(position, n, pos);
        glUniform3fv(direction, n, dir);
        glUniform4fv(attenuation, n, att);
        glUniform3fv(spot, n, spt);
    }
    glUniform4fv(matDiffuse, 1, st.diffuse);
    glUniform4fv(matAmbient, 1, st.ambient);
    glUniform4fv(matSpecular, 1, st.specular);
    glUniform4fv(matEmissive, 1, st.emissive);
    glUniform1f(matPower, st.power);
    const float g[4] = {((globalColour >> 16) & 0xFF) / 255.0f, ((globalColour >> 8) & 0xFF) / 255.0f,
                        (globalColour & 0xFF) / 255.0f, ((globalColour >> 24) & 0xFF) / 255.0f};
    glUniform4fv(globalAmbient, 1, g);
}

}  // namespace d3d9gl
