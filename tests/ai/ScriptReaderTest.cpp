#include "ai/ScriptReader.h"
#include "utility/IniManager.h"
#include "utility/RunLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct Speed : CScriptDefinition {
    int32_t speed = 0;
    void registerItems(CIniManager& ini) override
    {
        speed = 0;
        ini.registerItem("MOVE", "speed", &speed, CIniManager::INI_INT);
    }
    bool validate() override { return true; }
};

}  // namespace

TEST(ScriptReaderTest, ADamagedDefinitionIsReportedOnceHoweverManyReadItAndAMarkedOneReads)
{
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    forgetFileFailures();
    testsupport::clearReports();
    Speed definition;
    dir.write("walk.ini", "[MOVE]\nspeed <int> 3\nspeed = <int> 4\n");
    for (int reader = 0; reader < 3; ++reader) {
        EXPECT_TRUE(CScriptReader::read("walk.ini", &definition));
        EXPECT_EQ(4, definition.speed);
    }
    EXPECT_EQ(1, testsupport::countReports("walk.ini: lines that could not be read were skipped"));
    EXPECT_EQ(1u, testsupport::reports().size());

    dir.write("run.ini", "\xEF\xBB\xBF[MOVE]\nspeed = <int> 9\n");
    EXPECT_TRUE(CScriptReader::read("run.ini", &definition));
    EXPECT_EQ(9, definition.speed);
    EXPECT_EQ(1u, testsupport::reports().size());
    forgetFileFailures();
}
