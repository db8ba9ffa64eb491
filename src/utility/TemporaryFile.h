// Files the game makes (texture levels and caches, the trimmed run log, screenshots) are written to
// a temporary name in their own folder and moved over the real name once whole, so that a run
// stopped while writing, or a second copy sharing the folder, never leaves a part-written file.
#pragma once

#include "platform/win32.h"
#include "utility/Assert.h"

#include <cstddef>

// The temporary name a write of `name` goes to first: "~<process>.tmp" (the process id in hex) in
// name's folder. Named by the process, two copies sharing a folder never write the same one.
void temporaryFileName(const char* name, char* out, size_t size);
// Makes the temporary file anew for writing, under TemporaryFileLock. Whatever stands at the name
// (a stopped write's leftover, or a link someone put there) is removed, never written through, and
// should the name be taken again meanwhile it is refused rather than opened. INVALID_HANDLE_VALUE
// when the file cannot be made (GetLastError says why).
HANDLE createTemporaryFile(const char* temporary);
// Why a write through temporary failed, from the system's error code (GetLastError as the failing
// call left it), for the last line of the write's report: a folder standing at the temporary name,
// a read-only file or folder, a missing folder, a full disk, a disk quota, a file-size limit, too
// many open files, a name too long, a device error. With the real name the write was moved onto, a
// folder standing there is told from a read-only file.
const char* writeFailureCause(DWORD error, const char* temporary, const char* name = nullptr);
// How many leading characters of name are its folder, up to and with its last '\' or '/'.
size_t folderLength(const char* name);

// Every write of a process in a folder has the one temporary name, so a file of that name is a
// leftover of a stopped write only while no other write of this process runs: hold this from
// making the name until the file is moved into place or removed. It is the report lock (the trim
// runs under it), so a write may report while it holds it.
using TemporaryFileLock = ReportLock;
