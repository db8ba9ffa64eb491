// Finding a data file in the override folders and on the game path.
#include "d3dcore9/D3DCore.h"

#include "utility/Assert.h"
#include "winfile/File.h"

#include <cstring>
#include <string>

namespace {

bool beginsWith(const std::string& text, const char* base) { return text.compare(0, std::strlen(base), base) == 0; }

// Everything before the last backslash; empty when there is none.
std::string parentOf(const std::string& path)
{
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Opens one candidate; a path too long for OutPath is passed over rather than cut. The first
// candidate that is there but cannot be opened is kept in OutPath and *Error, for the report.
bool tryOpen(CFile& File, const std::string& candidate, uint32_t Mode, char* OutPath, DWORD& Error)
{
    if (candidate.size() >= MAX_PATH) return false;
    if (!File.Open(candidate.c_str(), Mode)) {
        if (Error == ERROR_FILE_NOT_FOUND && unreadableCause(candidate.c_str(), File.LastError())) {
            Error = File.LastError();
            std::memcpy(OutPath, candidate.c_str(), candidate.size() + 1);
        }
        return false;
    }
    std::memcpy(OutPath, candidate.c_str(), candidate.size() + 1);
    Error = ERROR_SUCCESS;
    return true;
}

}  // namespace

bool D3DCore::FindFile(CFile& File, const char* Name, const char* Base, const char* SubDir, uint32_t Mode,
                       char* OutPath, bool Quiet, DWORD* Error)
{
    DWORD ignored = ERROR_FILE_NOT_FOUND;
    if (!Error) Error = &ignored;
    *Error = ERROR_FILE_NOT_FOUND;
    if (OutPath) OutPath[0] = 0;
    if (!Name || !Base || !SubDir || !OutPath) return false;
    const std::string Path = UseGamePath && !beginsWith(Name, Base) ? std::string(Base) + "\\" + Name : Name;
    const size_t slash = Path.rfind('\\');
    const std::string Leaf = slash == std::string::npos ? Path : Path.substr(slash + 1);

    // Override folders carry their own trailing separator.
    for (const char* overridePath : OverridePaths)
        if (overridePath[0] && tryOpen(File, overridePath + Leaf, Mode, OutPath, *Error)) return true;
    if (tryOpen(File, Path, Mode, OutPath, *Error)) return true;

    if (!UseGamePath) {
        if (!Quiet) {
            const std::string message = openFailureText(OutPath, *Error, ("Failed to find " + Path + " ").c_str());
            assertFailedMsg(message.c_str(), "false", __FILE__, __LINE__);
        }
        return false;
    }
    // A level's file falls back on shared copies in sibling folders further up the tree.
    std::string Dir = parentOf(parentOf(Path));
    while (beginsWith(Dir, Base)) {
        const std::string candidate = Dir.empty() ? std::string(SubDir) + "\\" + Leaf : Dir + "\\" + SubDir + "\\" + Leaf;
        if (tryOpen(File, candidate, Mode, OutPath, *Error)) return true;
        if (Dir.empty()) break;
        Dir = parentOf(Dir);
    }
    if (!Quiet) {
        const std::string notFound = "Failed to find " + Path + " on game path" + GetModelContext();
        assertFailedMsg(openFailureText(OutPath, *Error, notFound.c_str()).c_str(), "false", __FILE__, __LINE__);
    }
    return false;
}
