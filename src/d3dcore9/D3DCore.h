// D3DCore: the one render-device object of the render core.
#pragma once

class D3DCore {
public:
    // Passes a message to the run log.
    static void WriteLog(const char* text);

    // Names of the model file and material being loaded, appended to error reports.
    static void SetModelName(const char* name);
    static void SetMaterialName(const char* name);
    // "\nRSM: %s", or "" when no name is set; one static buffer, overwritten by the next call.
    static const char* GetModelContext();
    // "\nMaterial: %s", or "" when no name is set.
    static const char* GetMaterialContext();
};
