// Shared set-up of the fuzz targets: reports are dropped (the run log would end the process at its
// fifth message), and the files a target reads and writes are held in memory: the disk is out of
// sight, so nothing is written to it and nothing on it is found.
#pragma once

#include "platform/testing.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace fuzz {

inline void dropReport(const char*, const char*, const char*, int) {}

// Once per process.
inline void setUp()
{
    static bool done = false;
    if (done) return;
    done = true;
    setAssertReportHook(dropReport);
    platform::testing::setMemoryFilesOnly(true);
}

// The bytes become the file of that name.
inline void writeInput(const char* name, const void* data, size_t size)
{
    platform::testing::setMemoryFile(name, data, size);
}

// An input held as a file for one run of the target, and let go after it with the message boxes
// the run raised and the files it found failing: an input leaves nothing allocated behind, so that
// libFuzzer's leak check (which runs the input again) runs only when the code under test keeps
// memory, and no input finds a file failed because an earlier one named it.
class InputFile {
public:
    InputFile(const char* name, const void* data, size_t size) : m_name(name) { writeInput(name, data, size); }
    ~InputFile()
    {
        platform::testing::removeMemoryFile(m_name);
        platform::testing::clearMessageBoxes();
        forgetFileFailures();
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

private:
    const char* m_name;
};

#ifdef VELDRANE_DATA
// A file of the shipped data folder, held as data/<name>.
inline void holdShipped(const std::string& name)
{
    std::ifstream in(std::string(VELDRANE_DATA) + "/" + name, std::ios::binary);
    if (!in) abort();
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    writeInput(("data/" + name).c_str(), bytes.data(), bytes.size());
}
#endif

}  // namespace fuzz
