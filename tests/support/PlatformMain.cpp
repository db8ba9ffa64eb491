// The main of the platform's own tests, which sit beneath the run log and so capture no reports.
#include "TestSupport.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::interceptExits();
    return RUN_ALL_TESTS();
}
