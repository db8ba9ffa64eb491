#include "platform/sdlwindow.h"

#if defined(__SANITIZE_ADDRESS__)
#include <cstring>
#include <dlfcn.h>
#include <link.h>

// The GL driver keeps allocations for the life of the process and is unloaded before the leak
// check, which then cannot tell them from ours. Keeping it loaded lets these lines name it.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:_dri.so\nleak:libLLVM\nleak:libgallium\nleak:libGLX_mesa\nleak:libEGL_mesa\nleak:libglapi\n";
}

// The runtime's tracking of dynamic TLS mistakes some blocks of the driver's threads for an old
// glibc layout when they happen to land at one offset in a page, and the leak check then reads
// far outside them and dies at exit. The driver's TLS holds nothing of ours.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }

namespace {

int keepDriverLoaded(struct dl_phdr_info* info, size_t, void*)
{
    const char* name = info->dlpi_name;
    if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libLLVM") || std::strstr(name, "libgallium") ||
                 std::strstr(name, "_mesa.so") || std::strstr(name, "libglapi")))
        dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}

}  // namespace

void platform::keepGraphicsDriversLoaded() { dl_iterate_phdr(keepDriverLoaded, nullptr); }

#else

void platform::keepGraphicsDriversLoaded() {}

#endif
