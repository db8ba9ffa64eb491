#include "utility/TemporaryFile.h"

#include "TestSupport.h"
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The last line of a failed write's report, for every code the file calls give for a write.
TEST(WriteFailureCause, EachSystemCodeSaysItsCauseAndAFolderInTheWayIsNamed)
{
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    const std::vector<std::pair<DWORD, std::string>> causes = {
        {ERROR_ACCESS_DENIED, "File Read Only?"},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the path specified"},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified"},
        {ERROR_DISK_FULL, "There is not enough space on the disk"},
        {ERROR_DISK_QUOTA_EXCEEDED, "The requested file operation failed because the storage quota was exceeded"},
        {ERROR_FILE_TOO_LARGE, "The file is larger than the file-size limit allows"},
        {ERROR_TOO_MANY_OPEN_FILES, "Too many files are open"},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long"},
        {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error"},
        {ERROR_INVALID_PARAMETER, "System error 87"},
    };
    for (const auto& [error, said] : causes) {
        EXPECT_EQ(said, writeFailureCause(error, "~1.tmp")) << error;
        EXPECT_EQ(said, writeFailureCause(error, "~1.tmp", "a.xim")) << error;
    }

    // A folder at the real name refuses the move as a read-only file would; any other failure is
    // its own cause. A folder at the temporary name comes first.
    fs::create_directory(dir.file("a.xim"));
    EXPECT_EQ("A folder stands at the name <a.xim>", std::string(writeFailureCause(ERROR_ACCESS_DENIED, "~1.tmp", "a.xim")));
    EXPECT_EQ("There is not enough space on the disk", std::string(writeFailureCause(ERROR_DISK_FULL, "~1.tmp", "a.xim")));
    EXPECT_EQ("File Read Only?", std::string(writeFailureCause(ERROR_ACCESS_DENIED, "~1.tmp")));
    fs::create_directory(dir.file("~1.tmp"));
    for (DWORD error : {DWORD(ERROR_ACCESS_DENIED), DWORD(ERROR_DISK_FULL)})
        EXPECT_EQ("A folder stands at the temporary name <~1.tmp>", std::string(writeFailureCause(error, "~1.tmp", "a.xim")));
}

}  // namespace
