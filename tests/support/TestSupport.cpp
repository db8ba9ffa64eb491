#include "TestSupport.h"

#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {

void capture(const char* message, const char* expression, const char* file, int line)
{
    reports().push_back(Report{message ? message : "", expression ? expression : "", file ? file : "", line});
}

class ResetBetweenTests : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        clearReports();
        resetRunLogCount();
        setAssertReportHook(capture);
    }
};

}  // namespace

std::vector<Report>& reports()
{
    static std::vector<Report> all;
    return all;
}

void clearReports()
{
    ReportLock lock;
    reports().clear();
}

int countReports(const std::string& text)
{
    ReportLock lock;
    int n = 0;
    for (const Report& r : reports())
        if (r.message.find(text) != std::string::npos || r.expression.find(text) != std::string::npos) ++n;
    return n;
}

RealRunLog::RealRunLog() { setAssertReportHook(nullptr); }
RealRunLog::~RealRunLog() { setAssertReportHook(capture); }

}  // namespace testsupport

// Reports are captured instead of written to the run log.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new testsupport::ResetBetweenTests);
    setAssertReportHook(testsupport::capture);
    testsupport::interceptExits();
    return RUN_ALL_TESTS();
}
