// The shipped light, shadow and cloud-layer files are what their generator makes.
#include "LightData.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

TEST(LightDataTest, TheShippedFilesAreTheGeneratorsOutput)
{
    for (const auto& [name, bytes] : lightdata::files()) {
        std::ifstream in(std::string(VELDRANE_DATA) + "/" + name, std::ios::binary);
        ASSERT_TRUE(in) << name << ": run tools/lightdata/make-light-data.sh";
        std::stringstream shipped;
        shipped << in.rdbuf();
        EXPECT_TRUE(shipped.str() == bytes) << name << " differs: run tools/lightdata/make-light-data.sh";
    }
}

}  // namespace
