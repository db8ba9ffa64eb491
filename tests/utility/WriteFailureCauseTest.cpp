#include "utility/TemporaryFile.h"

#include "TestSupport.h"
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// The last line of a failed write's report, for every code the file calls give for a write.
TEST(WriteFailureCause, EachSystemCodeSaysItsCauseAndAFolderInTheWayIsNamed)
{
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    const struct { DWORD error; const char* said; } causes[] = {
        {ERROR_ACCESS_DENIED, "File Read Only?"},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified"},
        {ERROR_DISK_FULL, "There is not enough space on the disk"},
        {ERROR_DISK_QUOTA_EXCEEDED, "The requested file operation failed because the storage quota was exceeded"},
        {ERROR_FILE_TOO_LARGE, "The file is larger than the file-size limit allows"},
        {ERROR_TOO_MANY_OPEN_FILES, "Too many files are open"},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long"},
        {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error"},
        {ERROR_INVALID_PARAMETER, "System error 87"},
    };
    for (const auto& c : causes) EXPECT_EQ(std::string(c.said), writeFailureCause(c.error, "~1.tmp", "a.xim"));

    // A folder at the real name refuses the move as a read-only file would, and is no cause of
    // another code; one at the temporary name is said whatever the code, before one at the name.
    std::filesystem::create_directory(dir.file("a.xim"));
    EXPECT_EQ(std::string("A folder stands at the name <a.xim>"), writeFailureCause(ERROR_ACCESS_DENIED, "~1.tmp", "a.xim"));
    EXPECT_EQ(std::string("File Read Only?"), writeFailureCause(ERROR_ACCESS_DENIED, "~1.tmp"));
    EXPECT_EQ(std::string("The file is larger than the file-size limit allows"),
              writeFailureCause(ERROR_FILE_TOO_LARGE, "~1.tmp", "a.xim"));
    std::filesystem::create_directory(dir.file("~1.tmp"));
    for (DWORD error : {ERROR_DISK_FULL, ERROR_ACCESS_DENIED})
        EXPECT_EQ(std::string("A folder stands at the temporary name <~1.tmp>"), writeFailureCause(error, "~1.tmp", "a.xim"));
}

}  // namespace
