// Reads any bytes as an ini file into registered variables of every type.
#include "FuzzSupport.h"
#include "utility/IniManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const fuzz::InputFile input("input.ini", data, size);
    int32_t i1 = 0, i2 = 0;
    float f = 0;
    char s1[4], s2[64], c = 0;
    CIniManager ini;
    ini.registerItem("Game", "a", &i1, CIniManager::INI_INT);
    ini.registerItem("Game", "f", &f, CIniManager::INI_FLOAT);
    ini.registerString("Game", "s", s1);
    ini.registerItem("Game", "c", &c, CIniManager::INI_CHAR);
    ini.registerItem("x", "b", &i2, CIniManager::INI_INT);
    ini.registerString("x", "s", s2);
    if (!ini.loadFile("input.ini")) abort();
    ini.loadFile("input.ini");  // a second load over the first
    return 0;
}
