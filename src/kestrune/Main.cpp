// The process entry: the platform's main hands over to the shell, as the system's loader would.
#include "kestrune/GameFlow.h"
#include "wincore/WinCore.h"

#include <string>

int main(int argc, char** argv)
{
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    registerGameEntryPoints();
    return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWNORMAL);
}
