#include "d3dcore9/D3DCore.h"

#include "utility/RunLog.h"

#include <cstdio>
#include <cstring>

namespace {

char modelName[260];
char materialName[260];
char modelContext[280];
char materialContext[280];

// Names are kept on every material and model load: a plain copy, cut to fit, not a format.
void keep(char (&buffer)[260], const char* name)
{
    const size_t length = name ? strnlen(name, sizeof buffer - 1) : 0;
    if (length) std::memcpy(buffer, name, length);
    buffer[length] = 0;
}

// Formats the context into its own buffer, cut to fit.
const char* context(char* buffer, size_t size, const char* format, const char* name)
{
    if (name[0] == 0)
        buffer[0] = 0;
    else
        snprintf(buffer, size, format, name);
    return buffer;
}

}  // namespace

void D3DCore::WriteLog(const char* text) { writeRunLog(text); }

void D3DCore::SetModelName(const char* name) { keep(modelName, name); }

void D3DCore::SetMaterialName(const char* name) { keep(materialName, name); }

const char* D3DCore::GetModelContext() { return context(modelContext, sizeof modelContext, "\nRSM: %s", modelName); }

const char* D3DCore::GetMaterialContext()
{
    return context(materialContext, sizeof materialContext, "\nMaterial: %s", materialName);
}
