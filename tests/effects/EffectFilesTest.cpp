// Definitions files cut short: no block that lost its end gives a definition, and nothing leaks.
#include "EffectsFixture.h"

#include <sstream>

namespace {

class EffectFilesTest : public EffectsFixture {};

TEST_F(EffectFilesTest, AFileTruncatedAtAnyLineGivesOnlyItsWholeDefinitions)
{
    const std::string text = block("TESTEFFECT", "spark", "MaxInstances 2\nAbortTechnique 1\nEffectRadius 2\n") +
                             multiEffect("combo", {"spark", "trail"}) +
                             block("TESTEFFECT", "trail", "Type 2\nFadeMode 0\nFadeFar 5\n");
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    // The line that closes each top-level block: a definition needs it.
    std::vector<std::pair<const char*, size_t>> ends;
    const char* names[] = {"spark", "combo", "trail"};
    int depth = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        depth += lines[i] == "{" ? 1 : lines[i] == "}" ? -1 : 0;
        if (lines[i] == "}" && depth == 0) ends.push_back({names[ends.size()], i});
    }
    ASSERT_EQ(ends.size(), 3u);
    for (size_t kept = 0; kept <= lines.size(); ++kept) {
        SCOPED_TRACE(kept);
        std::string cut;
        for (size_t i = 0; i < kept; ++i) cut += lines[i] + "\n";
        manager = std::make_unique<CEffectManager>();
        m_dir.write("cut.txt", cut);
        ASSERT_TRUE(manager->ReadBlocks("cut.txt"));
        for (const auto& [name, end] : ends) EXPECT_EQ(manager->PrecacheEffect(name), kept > end) << name;
        manager->FreeBlocks();
        for (const auto& [name, end] : ends) create(name, Vector3(0, 0, 9));
        manager->Update();
        manager->Render(0.5f);
    }
    manager.reset();
    EXPECT_EQ(logged("create").size(), logged("delete").size());
}

}  // namespace
