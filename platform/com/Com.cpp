#include "platform/com.h"
#include "platform/testing.h"

namespace {

thread_local int initCount = 0;

}  // namespace

HRESULT CoInitialize(LPVOID)
{
    return initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (initCount > 0) --initCount;
}

namespace platform::testing {

int comInitCount() { return initCount; }

}  // namespace platform::testing
