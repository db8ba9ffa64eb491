// Shared test support: captured reports, temporary folders, intercepted process exits. The
// platform's tests, beneath the run log, have all but the reports.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One report that reached the run log (captured instead of written).
struct Report {
    std::string message;     // empty for a plain assertion
    std::string expression;  // empty for a plain run-log message
    std::string file;
    int line;
};

// Reports since the current test began (cleared before each test). Reports may come from other
// threads: read them while those threads are quiet, or count them (which takes the report lock).
std::vector<Report>& reports();
void clearReports();
// Reports whose message or expression contains the text.
int countReports(const std::string& text);

// Two vectors (anything with x, y and z) alike within the tolerance in every coordinate.
template <class V>
::testing::AssertionResult near(const V& expected, const V& actual, float tolerance)
{
    if (std::fabs(expected.x - actual.x) <= tolerance && std::fabs(expected.y - actual.y) <= tolerance &&
        std::fabs(expected.z - actual.z) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << actual.x << ", " << actual.y << ", " << actual.z << ") is not within "
                                         << tolerance << " of (" << expected.x << ", " << expected.y << ", " << expected.z << ")";
}

// n bytes from a Mersenne twister seeded with seed: the same bytes on every run.

std::string randomBytes(size_t n, uint32_t seed);

// Thrown by the exit hook that test binaries install: the code would have ended the process.
struct ProcessExit {
    int code;
};
void interceptExits();

// Stops capturing for this scope so that reports go to the real run log.
class RealRunLog {
public:
    RealRunLog();
    ~RealRunLog();
};

// A fresh folder removed with its contents at the end of the scope.
class TempDir {
public:
    // Under the folder given, or the usual place when it cannot be made there.
    explicit TempDir(const char* under = "/tmp");
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    void write(const std::string& name, const std::string& contents) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::string m_path;
};

// A tmpfs on most machines: its 64-bit file times keep dates before 1901 and after 2446, which
// ext4 cuts to its own limits.
inline constexpr const char* MEMORY_FOLDER = "/dev/shm";

// Copies a data folder without the caches a run of the game leaves in it (.xim files, mipmaps/
// folders, half-written ~*.tmp files), so that a test meets the data as a fresh clone has it.
void copyDataFolder(const std::string& from, const std::string& to);

// Runs in the folder for the scope (restores the previous working folder).
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& path);
    ~ScopedCwd();

private:
    std::string m_previous;
};

}  // namespace testsupport
