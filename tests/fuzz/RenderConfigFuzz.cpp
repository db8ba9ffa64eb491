// Feeds random bytes to the reader of data\4CC.txt (FUZZ_FOURCC) or of data\VBIBConfig.txt.
#include "FuzzSupport.h"
#include "d3dcore9/D3DCore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
#ifdef FUZZ_FOURCC
    const fuzz::InputFile input("data/4CC.txt", data, size);
    DXSetup.Read4CC();
    if (DXSetup.Total4CC < 0 || DXSetup.Total4CC > MAX_4CC) std::abort();
#else
    const fuzz::InputFile input("data/VBIBConfig.txt", data, size);
    D3DCore.ReadVBIBConfig();
    if (D3DCore.DynamicIB9Size == 0) std::abort();
#endif
    return 0;
}
