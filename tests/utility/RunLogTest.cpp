#include "utility/RunLog.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/LogWriter.h"
#include "dxsetup9/DXSetup.h"
#include "platform/testing.h"
#include "utility/Assert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using testsupport::ProcessExit;

class RunLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SYSTEMTIME time{};
        time.wYear = 2026;
        time.wMonth = 3;
        time.wDay = 7;
        time.wHour = 9;
        time.wMinute = 5;
        time.wSecond = 2;
        platform::testing::setSystemTime(&time);
        memset(&DXInterface, 0, sizeof DXInterface);
    }
    void TearDown() override
    {
        platform::testing::setSystemTime(nullptr);
        memset(&DXInterface, 0, sizeof DXInterface);
    }

    std::string log() const { return dir.read("Veldrane.log"); }

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
    EXPECT_EQ("first\nsecond line\nagain\n", ::testing::internal::GetCapturedStderr()) << "every entry on stderr too";
    EXPECT_EQ(std::string("-------\r\nNew Run\r\n-------\r\n\r\n") + ENTRY_TIME + "first\r\nsecond line\r\n" +
                  ENTRY_TIME + "again\r\n",
              log());
    EXPECT_EQ(2, runLogMessageCount());
}

TEST_F(RunLogTest, HeaderNamesTheAdapterAndDriverOnceKnown)
{
    strcpy(DXInterface.AdapterIdentifier.Description, "Test Card");
    DXInterface.AdapterIdentifier.DriverVersion.HighPart = (6 << 16) | 14;
    DXInterface.AdapterIdentifier.DriverVersion.LowPart = (10u << 16) | 9036;
    DXInterface.AdapterIdentifier.WHQLLevel = 1;
    DXInterface.AdapterIdentifierValid = 1;
    writeRunLog("x");
    EXPECT_EQ(std::string("-------\r\nNew Run\r\nTest Card (6.14.10.9036) [V1.01.1] WHQL\r\n-------\r\n\r\n") +
                  ENTRY_TIME + "x\r\n",
              log());
}

TEST_F(RunLogTest, AssertionEntriesEndWithABlankLine)
{
    writeRunLog("start");
    assertFailed("p != NULL", "file.cpp", 12);
    assertFailedMsg("Broken", "false", "other.cpp", 7);
    const std::string text = log();
    EXPECT_NE(std::string::npos,
              text.find(std::string(ENTRY_TIME) + "Assertion Failed:\r\nExpression: p != NULL\r\nFile: file.cpp\r\n"
                                                  "Line: 12\r\n\r\n"));
    EXPECT_NE(std::string::npos, text.find("Broken\r\nAssertion Failed:\r\nExpression: false\r\nFile: other.cpp\r\n"
                                           "Line: 7\r\n\r\n"));
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
    EXPECT_FALSE(dir.exists("temp.tmp"));
}

TEST_F(RunLogTest, FifthMessageEndsTheProcessWithCodeZero)
{
    for (int i = 0; i < 4; ++i) writeRunLog(intToString(i));
    try {
        assertFailed("last", "f.cpp", 1);
        FAIL() << "the fifth message must end the process";
    } catch (const ProcessExit& exit) {
        EXPECT_EQ(0, exit.code);
    }
    EXPECT_NE(std::string::npos, log().find("Expression: last"));  // written before the exit
    const std::string before = log();
    writeRunLog("sixth");  // impossible in the program; nothing more is written
    EXPECT_EQ(before, log());
}

TEST_F(RunLogTest, OverlongMessagesAreCutAndKeepTheirLineEnd)
{
    std::string huge(5000, 'z');
    writeRunLog(huge.c_str());
    const std::string text = log();
    EXPECT_EQ("\r\n", text.substr(text.size() - 2));
    EXPECT_LT(text.size(), 1100u);
}

TEST(RunLogStrings, IntToStringRingOfEight)
{
    const char* first = intToString(-42);
    EXPECT_STREQ("-42", first);
    for (int i = 1; i < 8; ++i) intToString(i);
    EXPECT_STREQ("-42", first);
    intToString(99);  // the ninth overwrites the first
    EXPECT_STREQ("99", first);
}

TEST(RunLogStrings, ConcatStringsTestsEachArgumentAndStaysInBounds)
{
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

    // A scrambled line goes through the text writer without a final line end.
    setLogFileName("out.txt", true);
    writeLogLine("ab\n", true);
    raw = dir.read("out.txt");
    ASSERT_EQ(3u, raw.size());
    for (char& c : raw) c = static_cast<char>(static_cast<uint8_t>(c) ^ LOG_SCRAMBLE_KEY);
    EXPECT_EQ("ab\n", raw);
}

TEST_F(LogWriterTest, ContextTextsAreEmptyUntilANameIsSetAndStayBounded)
{
    D3DCore::SetModelName("");
    D3DCore::SetMaterialName(nullptr);
    EXPECT_STREQ("", D3DCore::GetModelContext());
    EXPECT_STREQ("", D3DCore::GetMaterialContext());
    D3DCore::SetModelName("data\\models\\crate.rsm");
    D3DCore::SetMaterialName("wood");
    EXPECT_STREQ("\nRSM: data\\models\\crate.rsm", D3DCore::GetModelContext());
    EXPECT_STREQ("\nMaterial: wood", D3DCore::GetMaterialContext());
    const std::string huge(5000, 'm');
    D3DCore::SetMaterialName(huge.c_str());
    const std::string text = D3DCore::GetMaterialContext();
    EXPECT_EQ(0u, text.find("\nMaterial: mmm"));
    EXPECT_LT(text.size(), 300u);
    D3DCore::SetModelName("");
    D3DCore::SetMaterialName("");
}

TEST_F(LogWriterTest, ErrorTextsAndReport)
{
    EXPECT_STREQ("D3D not supported in current screen mode", ErrorText(0xFEDC0005));
    EXPECT_STREQ("EEK!! - Out of Memory", ErrorText(E_OUTOFMEMORY));
    EXPECT_STREQ("D3DERR_DEVICELOST", ErrorText(D3DERR_DEVICELOST));
    EXPECT_STREQ("D3DXERR_INVALIDDATA", ErrorText(0x88760B59));
    EXPECT_STREQ("Unknown", ErrorText(0x12345678));

    DXErrorReport(0xFEDC0005);
    EXPECT_NE(std::string::npos,
              log().find("DX ERROR: FEDC0005\r\nD3D not supported in current screen mode\r\nAssertion Failed:\r\n"
                         "Expression: false\r\n"));
    DXErrorReport(0x1);
    EXPECT_NE(std::string::npos, log().find("DX ERROR:        1\r\n"));
}

}  // namespace
