#include "d3d9gl/ShaderGenerator.h"

#include <cstdio>

namespace d3d9gl {

namespace {

// Texture-stage values as the device stores them.
enum : uint8_t {
    TOP_DISABLE = 1, TOP_SELECTARG1, TOP_SELECTARG2, TOP_MODULATE, TOP_MODULATE2X, TOP_MODULATE4X,
    TOP_ADD, TOP_ADDSIGNED, TOP_ADDSIGNED2X, TOP_SUBTRACT, TOP_ADDSMOOTH, TOP_BLENDDIFFUSEALPHA,
    TOP_BLENDTEXTUREALPHA, TOP_BLENDFACTORALPHA, TOP_BLENDTEXTUREALPHAPM, TOP_BLENDCURRENTALPHA,
    TOP_PREMODULATE, TOP_MODULATEALPHA_ADDCOLOR, TOP_MODULATECOLOR_ADDALPHA,
    TOP_MODULATEINVALPHA_ADDCOLOR, TOP_MODULATEINVCOLOR_ADDALPHA, TOP_BUMPENVMAP,
    TOP_BUMPENVMAPLUMINANCE, TOP_DOTPRODUCT3, TOP_MULTIPLYADD, TOP_LERP,
};
enum : uint8_t {
    TA_DIFFUSE = 0, TA_CURRENT = 1, TA_TEXTURE = 2, TA_TFACTOR = 3, TA_SPECULAR = 4, TA_TEMP = 5,
    TA_CONSTANT = 6, TA_SELECTMASK = 0x0F, TA_COMPLEMENT = 0x10, TA_ALPHAREPLICATE = 0x20,
};

std::string format(const char* fmt, int a, int b = 0)
{
    char buffer[256];
    std::snprintf(buffer, sizeof(buffer), fmt, a, b);
    return buffer;
}

// The register an argument reads, as a vec4 expression.
std::string source(uint8_t arg, int stage)
{
    switch (arg & TA_SELECTMASK) {
    case TA_DIFFUSE: return "vDiffuse";
    case TA_CURRENT: return "cur";
    case TA_TEXTURE: return format("t%d", stage);
    case TA_TFACTOR: return "uTFactor";
    case TA_SPECULAR: return "vSpecular";
    case TA_TEMP: return "temp";
    case TA_CONSTANT: return format("uStageConst[%d]", stage);
    default: return "cur";
    }
}

std::string colourArg(uint8_t arg, int stage)
{
    std::string s = source(arg, stage);
    s = (arg & TA_ALPHAREPLICATE) ? "vec3(" + s + ".a)" : s + ".rgb";
    if (arg & TA_COMPLEMENT) s = "(vec3(1.0) - " + s + ")";
    return s;
}

std::string alphaArg(uint8_t arg, int stage)
{
    std::string s = source(arg, stage) + ".a";
    if (arg & TA_COMPLEMENT) s = "(1.0 - " + s + ")";
    return s;
}

// One operation over three argument expressions of type T ("vec3" or "float"); a1Alpha is the
// alpha of argument 1, which a few colour operations read.
std::string operation(uint8_t op, const std::string& T, const std::string& a0, const std::string& a1,
                      const std::string& a2, const std::string& a1Alpha, int stage)
{
    const std::string ts = format("t%d", stage);
    auto blend = [&](const std::string& f) { return "mix(" + a2 + ", " + a1 + ", " + f + ")"; };
    switch (op) {
    case TOP_SELECTARG1: return a1;
    case TOP_SELECTARG2: return a2;
    case TOP_MODULATE: return a1 + " * " + a2;
    case TOP_MODULATE2X: return a1 + " * " + a2 + " * 2.0";
    case TOP_MODULATE4X: return a1 + " * " + a2 + " * 4.0";
    case TOP_ADD: return a1 + " + " + a2;
    case TOP_ADDSIGNED: return a1 + " + " + a2 + " - " + T + "(0.5)";
    case TOP_ADDSIGNED2X: return "(" + a1 + " + " + a2 + " - " + T + "(0.5)) * 2.0";
    case TOP_SUBTRACT: return a1 + " - " + a2;
    case TOP_ADDSMOOTH: return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case TOP_BLENDDIFFUSEALPHA: return blend("vDiffuse.a");
    case TOP_BLENDTEXTUREALPHA: return blend(ts + ".a");
    case TOP_BLENDFACTORALPHA: return blend("uTFactor.a");
    case TOP_BLENDTEXTUREALPHAPM: return a1 + " + " + a2 + " * (1.0 - " + ts + ".a)";
    case TOP_BLENDCURRENTALPHA: return blend("cur.a");
    case TOP_MODULATEALPHA_ADDCOLOR: return a1 + " + " + a1Alpha + " * " + a2;
    case TOP_MODULATECOLOR_ADDALPHA: return a1 + " * " + a2 + " + " + T + "(" + a1Alpha + ")";
    case TOP_MODULATEINVALPHA_ADDCOLOR: return a1 + " + (1.0 - " + a1Alpha + ") * " + a2;
    case TOP_MODULATEINVCOLOR_ADDALPHA:
        return "(" + T + "(1.0) - " + a1 + ") * " + a2 + " + " + T + "(" + a1Alpha + ")";
    case TOP_DOTPRODUCT3:
        if (T == "float") return "(" + a1 + " - 0.5) * (" + a2 + " - 0.5) * 4.0";
        return "vec3(dot((" + a1 + " - vec3(0.5)) * 2.0, (" + a2 + " - vec3(0.5)) * 2.0))";
    case TOP_MULTIPLYADD: return a0 + " + " + a1 + " * " + a2;
    case TOP_LERP: return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
    default: return a1;  // pre-modulation and bump mapping are not drawn: the stage passes arg 1
    }
}

bool readsTexture(const StageKey& s)
{
    auto uses = [](uint8_t arg) { return (arg & TA_SELECTMASK) == TA_TEXTURE; };
    const bool opUses = s.colorOp == TOP_BLENDTEXTUREALPHA || s.colorOp == TOP_BLENDTEXTUREALPHAPM ||
                        s.alphaOp == TOP_BLENDTEXTUREALPHA || s.alphaOp == TOP_BLENDTEXTUREALPHAPM;
    return opUses || uses(s.colorArg0) || uses(s.colorArg1) || uses(s.colorArg2) ||
           uses(s.alphaArg0) || uses(s.alphaArg1) || uses(s.alphaArg2);
}

const char* compare(uint8_t func)
{
    switch (func) {
    case 1: return "false";
    case 2: return "a < ref";
    case 3: return "a == ref";
    case 4: return "a <= ref";
    case 5: return "a > ref";
    case 6: return "a != ref";
    case 7: return "a >= ref";
    default: return "true";
    }
}

}  // namespace

std::string generateVertexShader(const FixedFunctionKey& key)
{
    std::string s =
        "#version 330 core\n"
        "layout(location = 0) in vec4 aPosition;\n"
        "layout(location = 1) in vec4 aDiffuse;\n"
        "layout(location = 2) in vec4 aSpecular;\n";
    for (int i = 0; i < MAX_TEXCOORD_SETS; ++i)
        s += format("layout(location = %d) in vec4 aTex%d;\n", ATTR_TEXCOORD0 + i, i);
    s += "uniform mat4 uWorldViewProj;\n"
         "uniform mat4 uWorldView;\n"
         "uniform vec4 uViewport;\n"
         "uniform vec2 uHalfPixel;\n"
         "uniform bool uRangeFog;\n"
         "out float vFogDistance;\n";
    s += key.flatShade ? "flat out vec4 vDiffuse;\nflat out vec4 vSpecular;\n" : "out vec4 vDiffuse;\nout vec4 vSpecular;\n";
    for (int i = 0; i < MAX_TEXCOORD_SETS; ++i) s += format("out vec4 vTex%d;\n", i);
    s += "void main()\n{\n";
    if (key.rhw) {
        // Screen pixels with centres on whole numbers; a nudge up and left of a 128th of a pixel
        // makes edges through pixel centres fall as the device's top-left rule has them.
        s += "    float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;\n"
             "    vec2 ndc = vec2((aPosition.x + 0.4921875 - uViewport.x) / uViewport.z * 2.0 - 1.0,\n"
             "                    1.0 - (aPosition.y + 0.4921875 - uViewport.y) / uViewport.w * 2.0);\n"
             "    gl_Position = vec4(ndc * w, (aPosition.z * 2.0 - 1.0) * w, w);\n"
             "    vFogDistance = w;\n";
    } else {
        // Matrices arrive row-major for row vectors, which GLSL reads as their transposes.
        s += "    vec4 p = vec4(aPosition.xyz, 1.0);\n"
             "    vec4 c = uWorldViewProj * p;\n"
             "    c.xy += uHalfPixel * c.w;\n"
             "    c.z = c.z * 2.0 - c.w;\n"
             "    gl_Position = c;\n"
             "    vec3 eye = (uWorldView * p).xyz;\n"
             "    vFogDistance = uRangeFog ? length(eye) : eye.z;\n";
    }
    s += "    vDiffuse = aDiffuse;\n"
         "    vSpecular = aSpecular;\n";
    for (int i = 0; i < MAX_TEXCOORD_SETS; ++i) s += format("    vTex%d = aTex%d;\n", i, i);
    s += "}\n";
    return s;
}

std::string generateFragmentShader(const FixedFunctionKey& key)
{
    std::string s =
        "#version 330 core\n"
        "in float vFogDistance;\n";
    s += key.flatShade ? "flat in vec4 vDiffuse;\nflat in vec4 vSpecular;\n" : "in vec4 vDiffuse;\nin vec4 vSpecular;\n";
    for (int i = 0; i < MAX_TEXCOORD_SETS; ++i) s += format("in vec4 vTex%d;\n", i);
    for (int i = 0; i < key.stageCount && i < MAX_STAGES; ++i)
        if (key.stages[i].textureBound) s += format("uniform sampler2D uTex%d;\n", i);
    s += "uniform vec4 uTFactor;\n"
         "uniform vec4 uStageConst[8];\n"
         "uniform vec4 uFogColor;\n"
         "uniform vec3 uFogParams;\n"
         "uniform float uAlphaRef;\n"
         "out vec4 fragColor;\n"
         "void main()\n{\n"
         "    vec4 cur = vDiffuse;\n"
         "    vec4 temp = vec4(0.0);\n";
    for (int i = 0; i < key.stageCount && i < MAX_STAGES; ++i) {
        const StageKey& st = key.stages[i];
        const int set = st.texCoordSet < MAX_TEXCOORD_SETS ? st.texCoordSet : 0;
        if (readsTexture(st)) {
            if (st.textureBound)
                s += format("    vec4 t%d = texture(uTex%d, ", i, i) + format("vTex%d.xy);\n", set);
            else
                s += format("    vec4 t%d = vec4(1.0);\n", i);
        }
        const std::string c = operation(st.colorOp, "vec3", colourArg(st.colorArg0, i),
                                        colourArg(st.colorArg1, i), colourArg(st.colorArg2, i),
                                        alphaArg(st.colorArg1, i), i);
        std::string a;
        if (st.colorOp == TOP_DOTPRODUCT3)
            a = "rgb.r";  // the dot product goes to every channel
        else if (st.alphaOp == TOP_DISABLE || st.alphaOp == 0)
            a = "cur.a";
        else
            a = operation(st.alphaOp, "float", alphaArg(st.alphaArg0, i), alphaArg(st.alphaArg1, i),
                          alphaArg(st.alphaArg2, i), alphaArg(st.alphaArg1, i), i);
        s += "    {\n"
             "        vec3 rgb = clamp(" + c + ", 0.0, 1.0);\n"
             "        float alpha = clamp(" + a + ", 0.0, 1.0);\n";
        s += st.resultTemp ? "        temp = vec4(rgb, alpha);\n" : "        cur = vec4(rgb, alpha);\n";
        s += "    }\n";
    }
    s += generateFragmentTail(key) + "}\n";
    return s;
}

std::string generateFragmentTail(const FixedFunctionKey& key)
{
    std::string s;
    if (key.specularAdd) s += "    cur.rgb = min(cur.rgb + vSpecular.rgb, vec3(1.0));\n";
    if (key.alphaFunc) {
        s += "    {\n"
             "        float a = floor(cur.a * 255.0 + 0.5);\n"
             "        float ref = uAlphaRef;\n"
             "        if (!(" + std::string(compare(key.alphaFunc)) + ")) discard;\n"
             "    }\n";
    }
    switch (key.fogSource) {
    case FOG_LINEAR:
        s += "    float fog = (uFogParams.y - vFogDistance) / (uFogParams.y - uFogParams.x);\n";
        break;
    case FOG_EXP: s += "    float fog = exp(-uFogParams.z * vFogDistance);\n"; break;
    case FOG_EXP2:
        s += "    float fog = exp(-(uFogParams.z * vFogDistance) * (uFogParams.z * vFogDistance));\n";
        break;
    case FOG_SPECULAR_ALPHA: s += "    float fog = vSpecular.a;\n"; break;
    case FOG_VERTEX_FACTOR: s += "    float fog = vFogDistance;\n"; break;
    default: break;
    }
    if (key.fogSource != FOG_NONE)
        s += "    cur.rgb = mix(uFogColor.rgb, cur.rgb, clamp(fog, 0.0, 1.0));\n";
    s += "    fragColor = cur;\n";
    return s;
}

}  // namespace d3d9gl
