// Files the game makes (texture levels and caches, the trimmed run log) are written to a temporary
// name in their own folder and moved over the real name once whole, so that a run stopped while
// writing, or a second copy sharing the folder, never leaves a part-written file.
#pragma once

#include <cstddef>

// The temporary name a write of `name` goes to first: "~<process>.tmp" (the process id in hex) in
// name's folder. Named by the process, two copies sharing a folder never write the same one.
void temporaryFileName(const char* name, char* out, size_t size);
