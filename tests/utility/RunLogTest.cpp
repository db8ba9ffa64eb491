#include "utility/RunLog.h"

#include "platform/testing.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/LogFile.h"
#include "utility/TemporaryFile.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ProcessExit;

class RunLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SYSTEMTIME time{2026, 3, 0, 7, 9, 5, 2, 0};
        platform::testing::setSystemTime(&time);
    }
    void TearDown() override
    {
        platform::testing::setSystemTime(nullptr);
        setRunLogAdapterLine(nullptr);
    }

    std::string log() const { return dir.read("Veldrane.log"); }
    // The files of the folder, sorted.
    std::vector<std::string> names() const
    {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(dir.path())) found.push_back(e.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    testsupport::RealRunLog realLog;
};

const char* const ENTRY_TIME = "Time: 7/3/2026  09:05:02\r\n";

TEST_F(RunLogTest, FirstMessageCarriesTheHeaderAndLaterOnesDoNot)
{
    ::testing::internal::CaptureStderr();
    writeRunLog("first\nsecond line");
    writeRunLog("again");
    writeRunLog("again");  // the same report again says nothing new: neither written nor counted
    EXPECT_EQ("first\nsecond line\nagain\n", ::testing::internal::GetCapturedStderr()) << "every entry on stderr too";
    EXPECT_EQ(std::string("-------\r\nNew Run\r\n-------\r\n\r\n") + ENTRY_TIME + "first\r\nsecond line\r\n" +
                  ENTRY_TIME + "again\r\n",
              log());
    EXPECT_EQ(2, runLogMessageCount());

    // The header names the adapter once it is known.
    dir.write("Veldrane.log", "");
    resetRunLogCount();
    static bool known;
    known = false;
    setRunLogAdapterLine([](char* line, size_t size) {
        snprintf(line, size, "Test Card");
        return known;
    });
    writeRunLog("x");
    resetRunLogCount();
    known = true;
    writeRunLog("y");
    EXPECT_EQ(std::string("-------\r\nNew Run\r\n-------\r\n\r\n") + ENTRY_TIME + "x\r\n" +
                  "-------\r\nNew Run\r\nTest Card\r\n-------\r\n\r\n" + ENTRY_TIME + "y\r\n",
              log());
}

TEST_F(RunLogTest, LogIsTrimmedToItsLastTenKilobytes)
{
    std::string old(20000, 'a');
    for (size_t i = 0; i < old.size(); i += 100) old[i] = 'b';
    dir.write("Veldrane.log", old);
    writeRunLog("message");
    const std::string text = log();
    ASSERT_EQ(10240u, text.size());
    const std::string tail = std::string(ENTRY_TIME) + "message\r\n";
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
    const std::string full = old + "-------\r\nNew Run\r\n-------\r\n\r\n" + tail;
    EXPECT_EQ(full.substr(full.size() - 10240), text);  // the cut falls at a byte, mid-line
    dir.write("Veldrane.log", "");  // an overlong message is cut and keeps its line end
    writeRunLog(std::string(5000, 'z').c_str());
    ASSERT_LT(log().size(), 1100u);
    EXPECT_EQ("\r\n", log().substr(log().size() - 2));


    // On a full disk (files may not grow past 4000 bytes) the trimmed copy comes out short: the
    // log stays whole and the copy goes. The shell is told why, once; a folder standing at the
    // temporary name is a cause of its own.
    auto trimInChild = [this](bool limited) {
        const pid_t child = fork();
        if (child == 0) {
            if (!freopen("said.txt", "w", stderr)) _exit(3);
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4000, 4000};
            char temporary[MAX_PATH];
            temporaryFileName("Veldrane.log", temporary, sizeof temporary);
            if (limited) setrlimit(RLIMIT_FSIZE, &limit);
            else CreateDirectoryA(temporary, nullptr);
            trimLogFile("Veldrane.log", 10240);
            trimLogFile("Veldrane.log", 10240);
            ::rmdir(temporary);
            fflush(stderr);
            _exit(0);
        }
        int status = -1;
        EXPECT_EQ(child, waitpid(child, &status, 0));
        EXPECT_EQ(0, status);
        const std::string said = dir.read("said.txt");
        fs::remove(dir.file("said.txt"));
        return said;
    };
    dir.write("Veldrane.log", old);
    EXPECT_EQ("Veldrane.log was not trimmed and is kept as it was\nThe file is larger than the file-size limit "
              "allows\n",
              trimInChild(true));
    EXPECT_TRUE(old == log());
    EXPECT_EQ(names(), std::vector<std::string>{"Veldrane.log"});
    EXPECT_NE(std::string::npos, trimInChild(false).find("\nA folder stands at the temporary name <~"));
    EXPECT_TRUE(old == log());
    EXPECT_EQ(names(), std::vector<std::string>{"Veldrane.log"});
}

TEST_F(RunLogTest, TheTrimReplacesItsOwnLeftoverAndLeavesOthersFilesAlone)
{
    // Beside the log: the user's file of the name the trim once used, a copy another process left,
    // and one left by a stopped trim of a process with this one's id (in a container every run is
    // process 1), which must not stop the trims of this one.
    char pid[16];
    snprintf(pid, sizeof pid, "%x", static_cast<unsigned>(GetCurrentProcessId()));
    const std::string own = "~" + std::string(pid) + ".tmp", other = "~7ffffffe.tmp", old(20000, 'a');
    ASSERT_NE(own, other);
    dir.write("temp.tmp", "the user's");
    dir.write(other, "another's");
    dir.write(own, "half a copy");
    dir.write("Veldrane.log", old);
    trimLogFile("Veldrane.log", 10240);
    EXPECT_TRUE(log() == old.substr(old.size() - 10240)) << log().size();
    EXPECT_EQ(dir.read("temp.tmp"), "the user's");
    EXPECT_EQ(dir.read(other), "another's");
    EXPECT_EQ(names(), (std::vector<std::string>{"Veldrane.log", "temp.tmp", other}));

    // A link of that name is removed, not written through: what it points at (here read-only)
    // stays as it was.
    dir.write("notes.txt", "the user's");
    fs::permissions(dir.file("notes.txt"), fs::perms::owner_read);
    fs::create_symlink("notes.txt", dir.file(own));
    dir.write("Veldrane.log", old + "b");
    trimLogFile("Veldrane.log", 10240);
    EXPECT_TRUE(log() == old.substr(old.size() - 10239) + "b") << log().size();
    EXPECT_FALSE(fs::is_symlink(dir.file("Veldrane.log")));
    EXPECT_EQ(dir.read("notes.txt"), "the user's");
    EXPECT_EQ(names(), (std::vector<std::string>{"Veldrane.log", "notes.txt", "temp.tmp", other}));
}

TEST_F(RunLogTest, FifthMessageEndsTheProcessAsAFailureAndSaysWhereToLook)
{
    // Only a log that holds the run's entries is pointed at: one that cannot be written (a folder
    // at its name, say, or no file handle left) is not.
    for (const bool writable : {true, false}) {
        SCOPED_TRACE(writable);
        resetRunLogCount();
        if (!writable) fs::create_directory(dir.file("Veldrane.log"));
        for (int i = 0; i < 4; ++i) writeRunLog(intToString(i));
        ::testing::internal::CaptureStderr();
        try {
            assertFailed("last", "f.cpp", 1);
            ADD_FAILURE() << "the fifth message must end the process";
        } catch (const ProcessExit& exit) {
            EXPECT_EQ(1, exit.code);
        }
        const std::string said = ::testing::internal::GetCapturedStderr();
        const std::string last =
            writable ? "\nstopping after five reports; see Veldrane.log\n" : "\nstopping after five reports\n";
        ASSERT_GE(said.size(), last.size());
        EXPECT_EQ(last, said.substr(said.size() - last.size())) << said;
        if (!writable) continue;
        EXPECT_NE(std::string::npos, log().find("Expression: last"));  // written before the exit
        const std::string before = log();
        writeRunLog("sixth");  // impossible in the program; nothing more is written
        EXPECT_EQ(before, log());
        fs::remove(dir.file("Veldrane.log"));
    }
}

TEST_F(RunLogTest, AReadsFirstReportNamesItsFileAndWhatFollowsInThatReadIsNotWritten)
{
    ::testing::internal::CaptureStderr();
    const int checks = checksFailed();
    {
        ReadingFile list("data\\list.txt");
        ASSERT(1 + 1 == 3);
        {
            ReadingFile again("DATA/List.txt");  // the same file, read through another name: the same read
            writeRunLog("list.txt is broken");
        }
        {
            ReadingFile model("data\\model.rsm");  // a read of its own: its report is written
            writeRunLog("Model data\\model.rsm too short");
        }
        {
            ReadingFile material("data\\other.mtl");  // so is another file's, unnamed by its text
            writeRunLog("no technique");
        }
        resetRunLogCount();  // the fifth report would end the run
        {
            ReportApart apart;  // a failed write, say: about no file being read
            writeRunLog("Failed to write to <data\\x.xim>");
            ReadingFile texture("data\\x.tga");  // a read of its own in there too
            writeRunLog("texture cut short");
        }
        writeRunLog("the list failed");
    }
    {
        ReadingFile later("data\\list.txt");  // read again: a new read reports afresh
        ASSERT_MSG(false, "still broken");
        writeRunLog("and more");
    }
    writeRunLog("outside every file");
    ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(checks + 2, checksFailed());  // refused checks count, written or not
    const std::string text = log();
    size_t entries = 0;
    for (size_t at = text.find("Time: "); at != std::string::npos; at = text.find("Time: ", at + 1)) ++entries;
    EXPECT_EQ(7u, entries) << text;
    EXPECT_NE(std::string::npos, text.find("While reading data\\list.txt\r\nAssertion Failed:\r\nExpression: 1 + 1 == 3"))
        << text;
    // A report that names its file has no line added.
    EXPECT_NE(std::string::npos, text.find(ENTRY_TIME + std::string("Model data\\model.rsm too short"))) << text;
    EXPECT_NE(std::string::npos, text.find("While reading data\\other.mtl\r\nno technique")) << text;
    EXPECT_NE(std::string::npos, text.find(ENTRY_TIME + std::string("Failed to write to <data\\x.xim>"))) << text;
    EXPECT_NE(std::string::npos, text.find("While reading data\\x.tga\r\ntexture cut short")) << text;
    EXPECT_NE(std::string::npos, text.find("While reading data\\list.txt\r\nstill broken")) << text;
    EXPECT_NE(std::string::npos, text.find(ENTRY_TIME + std::string("outside every file"))) << text;
    EXPECT_EQ(std::string::npos, text.find("the list failed")) << text;
    EXPECT_EQ(std::string::npos, text.find("and more")) << text;
}

TEST_F(RunLogTest, TheDebugFileIsEmptiedByItsFirstWriteNotByItsNaming)
{
    dir.write("debug.txt", "someone's notes");
    setDebugFileName("debug.txt");
    EXPECT_EQ("someone's notes", dir.read("debug.txt"));  // nothing is written: the file stays
    debugCategoryMask = 1;
    debugPrintf(1, "one %d\n", 1);
    debugPrintf(1, "two\n");
    EXPECT_EQ("one 1\ntwo\n", dir.read("debug.txt"));
    setDebugFileName("debug.txt");  // a new session starts the file again
    debugPrintf(1, "three\n");
    debugCategoryMask = 0;
    EXPECT_EQ("three\n", dir.read("debug.txt"));
}

TEST(RunLogStrings, IntToStringsRingOfEightAndConcatStaysInBounds)
{
    const char* first = intToString(-42);
    for (int i = 1; i < 8; ++i) intToString(i);
    EXPECT_STREQ("-42", first);
    intToString(99);  // the ninth overwrites the first
    EXPECT_STREQ("99", first);
    EXPECT_STREQ("ac", concatStrings("a", nullptr, "c"));
    std::string big(900, 'x');
    const char* joined = concatStrings(big.c_str(), big.c_str(), "tail");
    EXPECT_EQ(1023u, strlen(joined));
}

class LogWriterTest : public RunLogTest {};

TEST_F(LogWriterTest, PlainAndScrambledWrites)
{
    setLogFileName("out.txt", true);
    writeLogLine("abc", false);
    writeLogText("d\ne", false);
    EXPECT_EQ("abc\r\nd\r\ne", dir.read("out.txt"));

    setLogFileName("out.txt", true);
    EXPECT_FALSE(dir.exists("out.txt"));
    writeLogText("line\nend", true);
    std::string raw = dir.read("out.txt");
    ASSERT_EQ(8u, raw.size());  // no line-end conversion
    for (char& c : raw) c = static_cast<char>(static_cast<uint8_t>(c) ^ LOG_SCRAMBLE_KEY);
    EXPECT_EQ("line\nend", raw);
}

}  // namespace
