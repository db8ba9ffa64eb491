#include "utility/IniManager.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using testsupport::ScopedCwd;
using testsupport::TempDir;

namespace {

class IniManagerTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedCwd cwd{dir.path()};
    CIniManager ini;

    bool load(const std::string& text)
    {
        dir.write("test.ini", text);
        return ini.loadFile("test.ini");
    }

    std::vector<std::string> sectionNames() const
    {
        std::vector<std::string> out;
        for (auto* s = ini.getSections(); s; s = s->pNext) out.push_back(s->pName);
        return out;
    }
};

TEST_F(IniManagerTest, LoadsEveryTypeIntoRegisteredVariables)
{
    int32_t update = -1, time = -1, hex = -1, bypass = -1, untouched = 77;
    float scale = 0;
    char name[32] = "", bare[32] = "", letter = 'z', none = 'z';
    for (auto [section, key, variable, type] : {std::tuple<const char*, const char*, void*, int>{"Game", "variableUpdate", &update, CIniManager::INI_INT},
                                                {"Game", "variableUpdateTime", &time, CIniManager::INI_INT}, {"Game", "hex", &hex, CIniManager::INI_INT},
                                                {"Game", "scale", &scale, CIniManager::INI_FLOAT}, {"Game", "letter", &letter, CIniManager::INI_CHAR},
                                                {"Game", "none", &none, CIniManager::INI_CHAR}, {"FrontEnd", "BypassFrontEnd", &bypass, CIniManager::INI_INT},
                                                {"Other", "untouched", &untouched, CIniManager::INI_INT}})
        ASSERT_TRUE(ini.registerItem(section, key, variable, type)) << key;
    ASSERT_TRUE(ini.registerString("Game", "name", name));
    ASSERT_TRUE(ini.registerString("Game", "bare", bare));

    ASSERT_TRUE(load("[Game]\r\n"
                     "variableUpdate = <int> 0\r\n"
                     "variableUpdateTime=<INT>33 : 0 : 100\r\n"
                     "hex = <int> 0x10\r\n"
                     "scale = <Float> 2.5\r\n"
                     "name = <string> \"Some One\"\r\n"
                     "bare = <string> two words\r\n"
                     "letter = <char> Quick\r\n"
                     "none = <char>\r\n"
                     "  [ FrontEnd ] trailing text\r\n"
                     "BypassFrontEnd = <int> 1\r\n"));
    EXPECT_FALSE(ini.getErrorFlag());
    // Decimal conversion stops at the x of a hex number; a bare string ends at its blank.
    EXPECT_EQ(std::vector<int32_t>({0, 33, 0, 1, 77}), std::vector<int32_t>({update, time, hex, bypass, untouched}));
    EXPECT_EQ(std::make_tuple(2.5f, 'Q', '\0', std::string("Some One|two")), std::make_tuple(scale, letter, none, std::string(name) + "|" + bare));

    // The section no file supplied is put at the front with its item bound but unwritten.
    EXPECT_EQ((std::vector<std::string>{"Other", "Game", "FrontEnd"}), sectionNames());
    ASSERT_TRUE(CIniManager::findItem(ini.findSection("Other"), "untouched"));
}

TEST_F(IniManagerTest, RegistrationRules)
{
    int32_t a = 0, b = 0;
    char text[8];
    EXPECT_TRUE(ini.registerItem("Sec", "key", &a, CIniManager::INI_INT));
    EXPECT_TRUE(ini.registerItem("Sec", "KEY", &b, CIniManager::INI_INT));  // the first stays
    EXPECT_FALSE(ini.registerItem("SEC", "other", &b, CIniManager::INI_INT));
    EXPECT_FALSE(ini.registerItem("Sec", "str", text, CIniManager::INI_STRING));  // no capacity given
    EXPECT_FALSE(ini.registerItem("Sec", "bad", &a, 5));
    ASSERT_TRUE(load("[Sec]\nkey = <int> 4\n"));
    EXPECT_EQ(std::make_pair(4, 0), std::make_pair(a, b));
}

TEST_F(IniManagerTest, CaseRulesAndBrokenLines)
{
    int32_t a = 0, b = 0, c = 0, d = 0, dup = 0, late = 0;
    for (auto [name, variable] : {std::pair{"a", &a}, {"b", &b}, {"c", &c}, {"d", &d}, {"dup", &dup}, {"late", &late}})
        ini.registerItem("S", name, variable, CIniManager::INI_INT);

    ASSERT_TRUE(load("[S]\n"
                     "A = <int> 9\n"                  // other capitals: skipped silently
                     "a = <int> 5 b = <int> 6\n"      // an int without limits resumes on its line
                     "c = <int> 7 : 1 d = <int> 8\n"  // with limits the rest of the line goes
                     "dup = <int> 1\n"));
    EXPECT_FALSE(ini.getErrorFlag());
    EXPECT_EQ(std::vector<int32_t>({5, 6, 7, 0}), std::vector<int32_t>({a, b, c, d}));

    const std::vector<std::string> brokenLines = {
        "; a comment", "noequals <int> 1", "x = <bool> 1", "DUP = <int> 2", std::string(1024, 'n') + " = <int> 1",
        "d = <string> \"" + std::string(1024, 'v') + "\"",
        "late = <string> \"a text where a number is registered\"",
    };
    for (const std::string& line : brokenLines) {
        CIniManager fresh;
        int32_t after = 0;
        fresh.registerItem("S", "late", &after, CIniManager::INI_INT);
        fresh.registerItem("S", "dup", &dup, CIniManager::INI_INT);
        char small[4] = "";
        fresh.registerString("S", "d", small);
        dir.write("broken.ini", "[S]\ndup = <int> 1\n" + line + "\nlate = <int> 3\n");
        EXPECT_TRUE(fresh.loadFile("broken.ini")) << line;
        EXPECT_TRUE(fresh.getErrorFlag()) << line;
        EXPECT_EQ(3, after) << line;  // the lines after a broken one still load
        EXPECT_STREQ("", small);
    }

    // Text before the first section stops the load.
    CIniManager early;
    early.registerItem("S", "late", &late, CIniManager::INI_INT);
    dir.write("early.ini", "late = <int> 4\n[S]\nlate = <int> 5\n");
    EXPECT_TRUE(early.loadFile("early.ini"));
    EXPECT_EQ(std::make_pair(true, 0), std::make_pair(early.getErrorFlag(), late));
    // Its loader says so once, naming the file and saying that none of it was read; a later load
    // whose lines are only partly broken says that those lines were skipped.
    testsupport::clearReports();
    early.reportSkippedLines("early.ini", "Settings ");
    EXPECT_EQ(1, testsupport::countReports(
                     "Settings early.ini: text before the first section; nothing of the file was read"));
    EXPECT_EQ(1u, testsupport::reports().size());
    dir.write("early.ini", "[S]\nlate <int> 4\n");
    EXPECT_TRUE(early.loadFile("early.ini"));
    early.reportSkippedLines("early.ini");
    EXPECT_EQ(1, testsupport::countReports("early.ini: lines that could not be read were skipped"));
    EXPECT_EQ(2u, testsupport::reports().size());

    // A byte-order mark at the very start is skipped; anywhere else it is text before the section.
    for (const char* text : {"\xEF\xBB\xBF[S]\nlate = <int> 6\n", " \xEF\xBB\xBF[S]\nlate = <int> 6\n"}) {
        CIniManager marked;
        late = 0;
        marked.registerItem("S", "late", &late, CIniManager::INI_INT);
        dir.write("marked.ini", text);
        EXPECT_TRUE(marked.loadFile("marked.ini"));
        const bool atStart = text[0] != ' ';
        EXPECT_EQ(std::make_pair(!atStart, atStart ? 6 : 0), std::make_pair(marked.getErrorFlag(), late));
    }
}

TEST_F(IniManagerTest, StringsAreCutToTheirBufferAndSectionNamesAreBounded)
{
    char small[5] = "", next[8] = "";
    int32_t after = 0;
    ini.registerString("S", "s", small);
    ini.registerString("S", "next", next);
    ini.registerItem("S", "after", &after, CIniManager::INI_INT);
    ASSERT_TRUE(load("[S]\ns = <string> \"a long text\"\nnext = <string> \"open quote\nafter = <int> 1\n"));
    EXPECT_STREQ("a lo", small);
    EXPECT_STREQ("open qu", next);
    EXPECT_EQ(1, after);  // an unclosed quote ends with its line and takes nothing more

    CIniManager other;
    int32_t value = 0;
    other.registerItem("T", "v", &value, CIniManager::INI_INT);
    dir.write("long.ini", "[" + std::string(256, 's') + "]\nv = <int> 1\n[T]\nv = <int> 2\n");
    EXPECT_TRUE(other.loadFile("long.ini"));
    EXPECT_EQ(std::make_pair(true, 2), std::make_pair(other.getErrorFlag(), value));
}

TEST_F(IniManagerTest, TheFirstFileThatSuppliesAKeyWins)
{
    int32_t a = 0, b = 0;
    ini.registerItem("S", "a", &a, CIniManager::INI_INT);
    ini.registerItem("S", "b", &b, CIniManager::INI_INT);
    ASSERT_TRUE(load("[S]\na = <int> 1\n"));
    dir.write("second.ini", "[s]\na = <int> 2\nb = <int> 3\n");
    // b has a tree item already, so the second file cannot set it either.
    EXPECT_TRUE(ini.loadFile("second.ini"));
    EXPECT_EQ(std::make_tuple(true, 1, 0), std::make_tuple(ini.getErrorFlag(), a, b));
    EXPECT_FALSE(ini.loadFile("missing.ini"));
    EXPECT_FALSE(ini.getErrorFlag());


    ini.freeAll();
    EXPECT_EQ(nullptr, ini.getSections());
}

TEST_F(IniManagerTest, TruncatedAndRandomInputKeepsStringsInsideTheirBuffers)
{
    const std::string sample = "[Game]\nv = <int> 1 : -2 : +3\nf = <float> 1.5\ns = <string> \"x y\"\nc = <char> q\n";
    std::mt19937 rng(99);
    const char alphabet[] = "[]=<>:\" \n\tintfloatstringchar01-+.";
    for (int round = 0; round < 400; ++round) {
        std::string text;
        if (round <= static_cast<int>(sample.size())) {
            text = sample.substr(0, round);
        } else {
            const size_t length = rng() % 300;
            for (size_t i = 0; i < length; ++i)
                text += (round & 1) ? static_cast<char>(rng() & 0xFF) : alphabet[rng() % (sizeof alphabet - 1)];
        }
        CIniManager fresh;
        int32_t v = 0;
        float f = 0;
        char c = 0;
        struct { char s[4], guard[4]; } string{{}, {'g', 'g', 'g', 'g'}};
        fresh.registerItem("Game", "v", &v, CIniManager::INI_INT);
        fresh.registerItem("Game", "f", &f, CIniManager::INI_FLOAT);
        fresh.registerString("Game", "s", string.s);
        fresh.registerItem("Game", "c", &c, CIniManager::INI_CHAR);
        dir.write("random.ini", text);
        fresh.loadFile("random.ini");
        // Whatever the text, a string value stays inside its buffer and ends there.
        EXPECT_EQ(std::string(string.guard, 4), "gggg") << text;
        EXPECT_LT(strnlen(string.s, 4), 4u) << text;
    }
}

}  // namespace
