#include "d3d9gl/ShaderGenerator.h"

#include "d3d9gl/Lighting.h"

#include <algorithm>
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
    case TOP_PREMODULATE:
        if (stage + 1 >= MAX_STAGES) return a1;
        return a1 + " * " + format("t%d", stage + 1) + (T == "float" ? ".a" : ".rgb");
    // A bump stage moves the next stage's coordinates and passes the current colour on.
    case TOP_BUMPENVMAP:
    case TOP_BUMPENVMAPLUMINANCE: return T == "float" ? "cur.a" : "cur.rgb";
    default: return a1;
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

// Whether an operation reads its argument 0, 1 or 2.
bool readsArgument(uint8_t op, int which)
{
    if (which == 1) return op != TOP_SELECTARG2;
    if (which == 2) return op != TOP_SELECTARG1;
    return op == TOP_MULTIPLYADD || op == TOP_LERP;
}

// An operation that reads the texture of a stage that has none passes the current value on.
void passOnWithoutTexture(uint8_t& op, uint8_t& arg0, uint8_t& arg1, uint8_t& arg2)
{
    if (op <= TOP_DISABLE) return;
    const uint8_t args[3] = {arg0, arg1, arg2};
    for (int k = 0; k < 3; ++k)
        if ((args[k] & TA_SELECTMASK) == TA_TEXTURE && readsArgument(op, k)) {
            op = TOP_SELECTARG1;
            arg1 = TA_CURRENT;
            return;
        }
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

namespace {

// The coordinates of stage i from the fixed vertex stage: the chosen set or a generated vector,
// then the stage's texture transform.
std::string stageCoordinates(const CoordKey& c, int i)
{
    const int set = c.set < MAX_TEXCOORD_SETS ? c.set : 0;
    std::string src;
    switch (c.texGen) {
    case TEXGEN_POSITION: src = "vec4(eye, 1.0)"; break;
    case TEXGEN_NORMAL: src = "vec4(eyeNormal, 1.0)"; break;
    case TEXGEN_REFLECTION: src = "vec4(reflect(uLocalViewer ? normalize(eye) : vec3(0.0, 0.0, 1.0), eyeNormal), 1.0)"; break;
    default:
        // A transformed set is read with its first missing component 1 and the rest 0.
        if (!c.transform || c.setSize == 0 || c.setSize >= 4) {
            src = format("aTex%d", set);
        } else {
            static const char* const PAD[4] = {"", "vec4(aTex%d.x, 1.0, 0.0, 0.0)", "vec4(aTex%d.xy, 1.0, 0.0)",
                                               "vec4(aTex%d.xyz, 1.0)"};
            src = format(PAD[c.setSize], set);
        }
        break;
    }
    if (c.transform) src = format("uTexMatrix[%d] * ", i) + src;
    return format("    vTex%d = ", i) + src + ";\n";
}

bool needsNormal(const FixedFunctionKey& key)
{
    for (const CoordKey& c : key.coords)
        if (c.texGen == TEXGEN_NORMAL || c.texGen == TEXGEN_REFLECTION) return true;
    return false;
}

bool anyTransform(const FixedFunctionKey& key)
{
    for (const CoordKey& c : key.coords)
        if (c.transform) return true;
    return false;
}

}  // namespace

std::string generateVertexShader(const FixedFunctionKey& key)
{
    const bool blend = !key.rhw && key.blendMatrices >= 2;
    const bool lit = !key.rhw && key.lighting;
    const bool normals = !key.rhw && (needsNormal(key) || lit);
    std::string s =
        "#version 330 core\n"
        "layout(location = 0) in vec4 aPosition;\n"
        "layout(location = 1) in vec4 aDiffuse;\n"
        "layout(location = 2) in vec4 aSpecular;\n";
    for (int i = 0; i < MAX_TEXCOORD_SETS; ++i)
        s += format("layout(location = %d) in vec4 aTex%d;\n", ATTR_TEXCOORD0 + i, i);
    s += format("layout(location = %d) in vec3 aNormal;\n", ATTR_NORMAL);
    s += format("layout(location = %d) in vec4 aWeights;\n", ATTR_BLENDWEIGHT);
    s += "uniform mat4 uWorldViewProj;\n"
         "uniform mat4 uWorldView;\n"
         "uniform vec4 uViewport;\n"
         "uniform vec2 uHalfPixel;\n"
         "uniform bool uRangeFog;\n"
         "uniform float uFlipY;\n"
         "out float vFogDistance;\n";
    if (blend) s += "uniform mat4 uWorld[4];\nuniform mat4 uView;\nuniform mat4 uViewProj;\n";
    else if (normals) s += "uniform mat3 uNormalMatrix;\n";
    if (!key.rhw && anyTransform(key)) s += format("uniform mat4 uTexMatrix[%d];\n", MAX_STAGES);
    if (normals) s += "uniform bool uLocalViewer;\n";
    if (lit) s += generateLighting(key);
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
        s += "    vec4 p = vec4(aPosition.xyz, 1.0);\n";
        if (blend) {
            // The last matrix takes what the vertex's weights leave.
            s += "    float weights[4] = float[4](aWeights.x, aWeights.y, aWeights.z, 0.0);\n"
                 "    float rest = 1.0;\n"
                 "    vec4 pw = vec4(0.0);\n"
                 "    vec3 nw = vec3(0.0);\n";
            s += format("    for (int k = 0; k < %d; ++k) {\n", key.blendMatrices) +
                 format("        float wk = k == %d ? rest : weights[k];\n", key.blendMatrices - 1) +
                 "        rest -= wk;\n"
                 "        pw += wk * (uWorld[k] * p);\n"
                 "        nw += wk * (mat3(uWorld[k]) * aNormal);\n"
                 "    }\n"
                 "    vec4 c = uViewProj * pw;\n"
                 "    vec3 eye = (uView * pw).xyz;\n";
            if (normals) s += "    vec3 rawNormal = mat3(uView) * nw;\n";
        } else {
            s += "    vec4 c = uWorldViewProj * p;\n"
                 "    vec3 eye = (uWorldView * p).xyz;\n";
            if (normals) s += "    vec3 rawNormal = uNormalMatrix * aNormal;\n";
        }
        // A vertex without a normal lights with a zero one: ambient and emissive only.
        if (normals) s += "    vec3 eyeNormal = dot(rawNormal, rawNormal) > 0.0 ? normalize(rawNormal) : rawNormal;\n";
        s += "    c.xy += uHalfPixel * c.w;\n"
             "    c.z = c.z * 2.0 - c.w;\n"
             "    gl_Position = c;\n";
        s += key.fogDepth == FOG_DEPTH_EYE ? "    vFogDistance = uRangeFog ? length(eye) : eye.z;\n"
                                           : "    vFogDistance = c.w;\n";
    }
    s += "    gl_Position.y *= uFlipY;\n";
    if (lit)
        s += key.normalizeNormals ? "    lightVertex(eye, eyeNormal, vDiffuse, vSpecular);\n"
                                  : "    lightVertex(eye, rawNormal, vDiffuse, vSpecular);\n";
    else
        s += std::string("    vDiffuse = ") + (key.vertexColours & VERTEX_DIFFUSE ? "aDiffuse" : "vec4(1.0)") + ";\n" +
             "    vSpecular = " + (key.vertexColours & VERTEX_SPECULAR ? "aSpecular" : "vec4(0.0)") + ";\n";
    // Pre-transformed vertices only choose their sets: nothing is generated or transformed.
    for (int i = 0; i < MAX_STAGES; ++i) {
        CoordKey c = key.coords[i];
        if (key.rhw) c.texGen = c.transform = 0;
        s += stageCoordinates(c, i);
    }
    s += "}\n";
    return s;
}

namespace {

// The texture coordinates stage i samples at: its own when the fixed vertex stage made them (or
// the vertex shader's register), divided by one of their elements when projected.
std::string sampleCoordinates(const FixedFunctionKey& key, int i)
{
    const int set = key.stageCoords ? i : (key.stages[i].texCoordSet < MAX_TEXCOORD_SETS ? key.stages[i].texCoordSet : 0);
    const std::string v = format("vTex%d", set);
    const int by = key.coords[i].project;
    if (by >= 1 && by <= 4) return "(" + v + ".xy / " + v + "." + "xyzw"[by - 1] + ")";
    return v + ".xy";
}

bool isBump(uint8_t op) { return op == TOP_BUMPENVMAP || op == TOP_BUMPENVMAPLUMINANCE; }

}  // namespace

std::string generateFragmentShader(const FixedFunctionKey& key)
{
    const int stages = std::min<int>(key.stageCount, MAX_STAGES);
    bool bump = false;
    for (int i = 0; i < stages; ++i) bump = bump || isBump(key.stages[i].colorOp);
    std::string s =
        "#version 330 core\n"
        "in float vFogDistance;\n";
    s += key.flatShade ? "flat in vec4 vDiffuse;\nflat in vec4 vSpecular;\n" : "in vec4 vDiffuse;\nin vec4 vSpecular;\n";
    for (int i = 0; i < MAX_TEXCOORD_SETS; ++i) s += format("in vec4 vTex%d;\n", i);
    for (int i = 0; i < stages; ++i)
        if (key.stages[i].textureBound)
            s += format(key.stages[i].textureBound == TEXTURE_CUBE ? "uniform samplerCube uTex%d;\n" : "uniform sampler2D uTex%d;\n", i);
    if (bump) s += format("uniform vec4 uBumpEnv[%d];\nuniform vec2 uBumpLuminance[%d];\n", MAX_STAGES, MAX_STAGES);
    s += "uniform vec4 uTFactor;\n"
         "uniform vec4 uStageConst[8];\n"
         "uniform vec4 uFogColor;\n"
         "uniform vec3 uFogParams;\n"
         "uniform float uAlphaRef;\n"
         "out vec4 fragColor;\n"
         "void main()\n{\n"
         "    vec4 cur = vDiffuse;\n"
         "    vec4 temp = vec4(0.0);\n";
    if (bump) s += "    vec2 bump = vec2(0.0);\n    float luminance = 1.0;\n";
    bool sampled[MAX_STAGES] = {};
    // A bump stage moves the next stage's coordinates (and may scale its colour).
    auto sample = [&](int i) {
        if (sampled[i]) return;
        sampled[i] = true;
        const bool bumped = i > 0 && isBump(key.stages[i - 1].colorOp);
        if (!key.stages[i].textureBound || i >= stages) {
            s += format("    vec4 t%d = vDiffuse;\n", i);
            return;
        }
        // A cube texture is sampled by direction: three coordinates, never moved by a bump stage.
        if (key.stages[i].textureBound == TEXTURE_CUBE) {
            const int set = key.stageCoords ? i : std::min<int>(key.stages[i].texCoordSet, MAX_TEXCOORD_SETS - 1);
            s += format("    vec4 t%d = texture(uTex%d, ", i, i) + format("vTex%d.xyz);\n", set);
            return;
        }
        s += format("    vec4 t%d = texture(uTex%d, ", i, i) + sampleCoordinates(key, i) + (bumped ? " + bump);\n" : ");\n");
        if (bumped && key.stages[i - 1].colorOp == TOP_BUMPENVMAPLUMINANCE) s += format("    t%d.rgb *= luminance;\n", i);
    };
    for (int i = 0; i < stages; ++i) {
        StageKey st = key.stages[i];
        if (!st.textureBound) {
            passOnWithoutTexture(st.colorOp, st.colorArg0, st.colorArg1, st.colorArg2);
            passOnWithoutTexture(st.alphaOp, st.alphaArg0, st.alphaArg1, st.alphaArg2);
        }
        if (readsTexture(st) || isBump(st.colorOp)) sample(i);
        if (isBump(st.colorOp)) {
            const std::string t = format("t%d", i), e = format("uBumpEnv[%d]", i), l = format("uBumpLuminance[%d]", i);
            s += "    bump = vec2(dot(" + t + ".xy, " + e + ".xz), dot(" + t + ".xy, " + e + ".yw));\n";
            s += "    luminance = clamp(" + t + ".z * " + l + ".x + " + l + ".y, 0.0, 1.0);\n";
        }
        // Pre-modulation multiplies this stage's result by the next stage's texture.
        if ((st.colorOp == TOP_PREMODULATE || st.alphaOp == TOP_PREMODULATE) && i + 1 < MAX_STAGES) sample(i + 1);
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
    const std::string d = key.fogDepth == FOG_DEPTH_Z ? "gl_FragCoord.z" : "vFogDistance";
    switch (key.fogSource) {
    case FOG_LINEAR:
        // Start and end together fog everything, whatever its depth.
        s += "    float fog = uFogParams.y == uFogParams.x ? 0.0 : (uFogParams.y - " + d +
             ") / (uFogParams.y - uFogParams.x);\n";
        break;
    case FOG_EXP: s += "    float fog = exp(-uFogParams.z * " + d + ");\n"; break;
    case FOG_EXP2: s += "    float fog = exp(-(uFogParams.z * " + d + ") * (uFogParams.z * " + d + "));\n"; break;
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
