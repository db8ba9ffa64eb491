// The render core's log texts: result-code texts, the "DX ERROR" report, the context names, and the
// adapter line the render setup gives the run log.
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/LogWriter.h"
#include "dxsetup9/DXSetup.h"
#include "platform/testing.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class LogWriterTest : public ::testing::Test {
protected:
    void SetUp() override { memset(&DXInterface, 0, sizeof DXInterface); }
    void TearDown() override
    {
        memset(&DXInterface, 0, sizeof DXInterface);
        setRunLogAdapterLine(nullptr);
        resetRunLogCount();
    }

    std::string log() const { return dir.exists("Veldrane.log") ? dir.read("Veldrane.log") : ""; }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    testsupport::RealRunLog realLog;
};

TEST_F(LogWriterTest, TheRunLogHeaderNamesTheAdapterAndDriverOnceKnown)
{
    setRunLogAdapterLine(describeAdapterForRunLog);
    strcpy(DXInterface.AdapterIdentifier.Description, "Test Card");
    DXInterface.AdapterIdentifier.DriverVersion.HighPart = (6 << 16) | 14;
    DXInterface.AdapterIdentifier.DriverVersion.LowPart = (10u << 16) | 9036;
    DXInterface.AdapterIdentifier.WHQLLevel = 1;
    DXInterface.AdapterIdentifierValid = 1;
    writeRunLog("x");
    EXPECT_NE(log().find("New Run\r\nTest Card (6.14.10.9036) [V1.01.1] WHQL\r\n-------\r\n"), std::string::npos)
        << log();
}

TEST_F(LogWriterTest, ContextTextsAreEmptyUntilANameIsSetAndStayBounded)
{
    D3DCore::SetMaterialName(nullptr);
    EXPECT_STREQ("", D3DCore::GetMaterialContext());
    D3DCore::SetModelName("data\\models\\crate.rsm");
    EXPECT_STREQ("\nRSM: data\\models\\crate.rsm", D3DCore::GetModelContext());
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
    EXPECT_STREQ("D3DERR_DEVICELOST", ErrorText(D3DERR_DEVICELOST));
    EXPECT_STREQ("Unknown", ErrorText(0x12345678));

    DXErrorReport(0xFEDC0005);
    EXPECT_NE(std::string::npos,
              log().find("DX ERROR: FEDC0005\r\nD3D not supported in current screen mode\r\nAssertion Failed:\r\n"
                         "Expression: false\r\n"));
    DXErrorReport(0x1);
    EXPECT_NE(std::string::npos, log().find("DX ERROR:        1\r\n"));
}

TEST_F(LogWriterTest, AFailedDeviceCallIsWrittenApartFromTheFileBeingRead)
{
    {
        ReadingFile reading("data\\models\\demo.tga");
        assertFailedMsg("Non-supported TGA format", "false", __FILE__, __LINE__);
        DXErrorReport(D3DERR_INVALIDCALL);  // written, though it follows the file's first report
    }
    EXPECT_NE(log().find("\r\nWhile reading data\\models\\demo.tga\r\nNon-supported TGA format\r\n"), std::string::npos);
    EXPECT_NE(log().find("DX ERROR: 8876086C\r\nD3DERR_INVALIDCALL\r\n"), std::string::npos) << log();
}

}  // namespace
