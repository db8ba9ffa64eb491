// One statement for each instruction of each shader version, with operands it accepts.
#pragma once

#include "d3d9/ShaderCode.h"

#include <string>

inline std::string sampleOperands(const d3d9shader::InstructionInfo& info, d3d9shader::Model model)
{
    using namespace d3d9shader;
    if (info.opcode == OP_DEF) return "c1, 0.5, 1, -1, 0";
    if (info.opcode == OP_DCL) return "v2";
    if (info.opcode == OP_PHASE || info.opcode == OP_NOP) return "";
    std::string s;
    const bool oldTexture = model != PS_1_4 && model != VS_1_1 && info.opcode >= OP_TEXCOORD &&
                            info.opcode != OP_CND && info.opcode != OP_CMP && info.opcode != OP_EXPP &&
                            info.opcode != OP_LOGP;
    if (model == VS_1_1)
        s = "r0";
    else if (oldTexture)
        s = "t1";
    else if (info.opcode == OP_TEXDEPTH)
        s = "r5";
    else
        s = "r0";
    for (int i = 0; i < info.sources; ++i) {
        if (model == VS_1_1)
            s += i == 0 ? ", v0" : ", c3";
        else if (oldTexture)
            s += i == 1 ? ", c0" : ", t0";
        else if (model == PS_1_4 && (info.opcode == OP_TEX || info.opcode == OP_TEXCOORD))
            s += ", t0";
        else
            s += i == 0 ? ", v0" : i == 1 ? ", c1" : ", r1";
    }
    return s;
}

// The whole source: version line and the statement.
inline std::string sampleStatement(const d3d9shader::InstructionInfo& info, d3d9shader::Model model)
{
    static const char* const versions[d3d9shader::MODEL_COUNT] = {"vs.1.1", "ps.1.1", "ps.1.2", "ps.1.3", "ps.1.4"};
    const std::string name = info.opcode == d3d9shader::OP_DCL ? "dcl_texcoord3" : info.name;
    return std::string(versions[model]) + "\n" + name + " " + sampleOperands(info, model) + "\n";
}
