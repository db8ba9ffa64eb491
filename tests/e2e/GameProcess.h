// The real game as a child process of a test: run in a test folder with the headless drivers, its
// own lock folder and an optional frame script; what it says on stderr goes to stderr.txt there.
#pragma once

#include "TestSupport.h"

#include <string>
#include <sys/types.h>

// The script (when not empty) is written to script.txt; a script.txt already there is played too.
// With a file size limit no file the game writes grows past that many bytes: a full disk to it.
// With recordAudio the sound output goes to audio.raw there (SDL2's disk driver: 32-bit float
// stereo at the output rate, in real time) instead of nowhere. With asUser the files' rights bind
// the game as they bind an ordinary user, also when the tests run as root. With an open file limit
// the game may hold no more files (its standard streams among them; it inherits no others).
pid_t startGame(const testsupport::TempDir& dir, const std::string& script, long fileSizeLimit = -1,
                bool recordAudio = false, bool asUser = false, long openFileLimit = -1);
// True once a running copy holds the lock of its window class (by then it answers signals).
bool waitForWindow(const testsupport::TempDir& dir, int seconds = 10);
// The exit code, or -1 when the game did not end in time (it is then killed).
int finishGame(pid_t pid, int seconds = 30);
// A copy of the sample data in the folder.
void copyData(const testsupport::TempDir& dir);
// The copy's start-up file without the loading screen, so that the first frames are the game's;
// false when it has no LoadingFrames key.
bool withoutLoadingScreen(const testsupport::TempDir& dir);
// A file of the folder ("" when there is none).
std::string textOf(const testsupport::TempDir& dir, const std::string& name);
// How many times the part occurs in the text (overlapping ones included).
int countOf(const std::string& text, const std::string& part);
