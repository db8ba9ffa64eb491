// The libraries the engine loads at run time, with their exports. Names compare without case, as
// Windows does.
#include "platform/win32/module.h"
#include "platform/win32/runtime.h"
#include "platform/d3d9.h"
#include "platform/testing.h"

#include <mutex>
#include <set>
#include <string>

namespace {

struct Export {
    const char* Name;
    FARPROC Proc;
};

struct Library {
    const char* Name;
    Export Exports[1];
};

const Library LIBRARIES[] = {
    {"d3d9.dll", {{"Direct3DCreate9", reinterpret_cast<FARPROC>(&Direct3DCreate9)}}},
    {"d3d9d.dll", {{"Direct3DCreate9", reinterpret_cast<FARPROC>(&Direct3DCreate9)}}},
};

std::string lower(const char* text)
{
    std::string s = text ? text : "";
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

struct Switches {
    std::mutex Lock;
    std::set<std::string> MissingLibraries;
    std::set<std::string> MissingExports;  // "library!export"
};

Switches& switches()
{
    static Switches* s = new Switches();
    return *s;
}

}  // namespace

HMODULE LoadLibraryA(const char* name)
{
    std::string key = lower(name);
    {
        std::lock_guard<std::mutex> lock(switches().Lock);
        if (switches().MissingLibraries.count(key)) return nullptr;
    }
    for (const Library& library : LIBRARIES)
        if (key == library.Name) return reinterpret_cast<HMODULE>(const_cast<Library*>(&library));
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* name)
{
    if (!module || !name) return nullptr;
    const Library* library = reinterpret_cast<const Library*>(module);
    std::lock_guard<std::mutex> lock(switches().Lock);
    if (switches().MissingExports.count(std::string(library->Name) + "!" + name)) return nullptr;
    for (const Export& e : library->Exports)
        if (std::string(e.Name) == name) return e.Proc;
    return nullptr;
}

BOOL FreeLibrary(HMODULE module) { return module ? TRUE : FALSE; }

namespace platform::testing {

void setLibraryMissing(const char* library, bool missing)
{
    std::lock_guard<std::mutex> lock(switches().Lock);
    if (missing) switches().MissingLibraries.insert(lower(library));
    else switches().MissingLibraries.erase(lower(library));
}

void setExportMissing(const char* library, const char* exportName, bool missing)
{
    std::string key = lower(library) + "!" + exportName;
    std::lock_guard<std::mutex> lock(switches().Lock);
    if (missing) switches().MissingExports.insert(key);
    else switches().MissingExports.erase(key);
}

}  // namespace platform::testing
