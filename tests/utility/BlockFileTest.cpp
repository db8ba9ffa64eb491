#include "utility/BlockFile.h"

#include "TestSupport.h"
#include "winfile/File.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

using testsupport::countReports;
using testsupport::ScopedCwd;
using testsupport::TempDir;

namespace {

class BlockFileTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedCwd cwd{dir.path()};
    blockList list;

    void TearDown() override { deleteBlockList(list); }

    // Each load is a read of its own, whose first report is written.
    bool load(const std::string& text, int maxNest = 64, const char* name = "test.txt")
    {
        deleteBlockList(list);
        dir.write(name, text);
        return loadBlocks(name, list, maxNest);
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (auto* node = list.pHead; node; node = node->pNext) out.push_back(node->pObject->getName());
        return out;
    }

    CParamBlock* first() const { return list.pHead ? list.pHead->pObject : nullptr; }
};

// The names and values of a tree in order, with the reader's counts, for comparing trees.
std::string describe(const CParamBlock* block)
{
    std::string out = std::string(block->getName()) + "[" + std::to_string(block->getNumValues()) + "," +
                      std::to_string(block->getNumBlocks()) + "]{";
    for (const paramNode* node = block->getFirstNode(); node; node = node->pNext) {
        if (node->pParam->getType() == CParameter::PARAMETER_BLOCK)
            out += describe(static_cast<const CParamBlock*>(node->pParam));
        else
            out += std::string(node->pParam->getName()) + "=" +
                   static_cast<const CActualParameter*>(node->pParam)->getValue() + ";";
    }
    return out + "}";
}

TEST_F(BlockFileTest, ReadsNestedBlocksCommentsAndIncludesInFileOrder)
{
    dir.write("inc.txt", "IncA {\n x 1\n}\nIncB\n{\n}\n");
    ASSERT_TRUE(load("// leading comment\r\n"
                     "/* about the block */ Outer\r\n"
                     "// between name and brace\r\n"
                     "{\r\n"
                     "\tspeed   12 // fast\r\n"
                     "\tempty\r\n"
                     "\t#pragma whatever\r\n"
                     "\t/* a child may have one too */ Inner {\r\n a 1\r\n}\r\n"
                     "\t#INCLUDE inc.txt\r\n"
                     "\t{\r\n"
                     "\t\tnested\tvalue with  blanks  \r\n"
                     "\t}\r\n"
                     "\tlast 3\r\n"
                     "}\r\n"
                     "Second {\n}\n"));
    ASSERT_EQ((std::vector<std::string>{"Outer", "Second"}), names());
    EXPECT_EQ("Outer[3,4]{speed=12 // fast;empty=;Inner[1,0]{a=1;}IncA[1,0]{x=1;}IncB[0,0]{}"
              "[1,0]{nested=value with  blanks  ;}last=3;}",
              describe(first()));
    EXPECT_EQ(0, countReports(""));
}

TEST_F(BlockFileTest, BrokenTopLevelBlockIsDroppedAndReadingStops)
{
    const std::string good = "Good {\n a 1\n}\n";
    const std::string after = "\nAfter {\n b 2\n}\n";
    const std::vector<std::string> broken = {
        "Bad {\n " + std::string(33, 'n') + " 1\n}",                // value name too long
        "Bad { name " + std::string(257, 'v') + "\n}",           // value too long
        "Bad {\n -5\n}",                                            // a value line must start with a name
        "Bad {\n /* comment */ a 1\n}",                             // comments only go in front of blocks
        "Bad {\n child {\n x 1\n}",                                   // text ends inside the block (said)
        std::string(33, 'B') + " { }",                           // block name too long
        "Bad x { }",                                             // a value line at the top
    };
    for (const std::string& text : broken) {
        ASSERT_TRUE(load(good + text + after, 64, text.find("child") == std::string::npos ? "test.txt" : "cut.txt"))
            << text;
        EXPECT_EQ((std::vector<std::string>{"Good"}), names()) << text;
    }
    // Only the cut is reported: what it dropped is lost without anything else saying so.
    EXPECT_EQ(1, countReports(""));
    EXPECT_EQ(1, countReports("Block file cut.txt: ends inside a block"));

    // Exactly at the limits is fine.
    ASSERT_TRUE(load(good + std::string(32, 'B') + " { " + std::string(32, 'n') + " " + std::string(256, 'v') +
                     "\n}" + after));
    ASSERT_EQ(3u, list.count);
    EXPECT_EQ(256, list.pHead->pNext->pObject->parseStringGetSize(std::string(32, 'n').c_str()) - 1);
}

TEST_F(BlockFileTest, FilesThatCannotBeReadFailAndEmptyFilesGiveNoBlocks)
{
    for (const char* name : {"missing.txt", "", static_cast<const char*>(nullptr)}) EXPECT_FALSE(loadBlocks(name, list, 64));
    for (const char* empty : {"", "  // nothing but a comment"}) {
        EXPECT_TRUE(load(empty)) << empty;
        EXPECT_EQ(0u, list.count) << empty;
    }

    CParamBlock* block = nullptr;
    EXPECT_FALSE(loadFirstBlock("missing.txt", &block, 64));
    dir.write("two.txt", "A { }\nB { }\n");
    ASSERT_TRUE(loadFirstBlock("two.txt", &block, 64));
    EXPECT_STREQ("A", block->getName());
    delete block;
    // Saved by an editor that marks its text: the mark is not part of the first name.
    dir.write("marked.txt", "\xEF\xBB\xBF" "A { }\nB { }\n");
    ASSERT_TRUE(loadFirstBlock("marked.txt", &block, 64));
    EXPECT_STREQ("A", block->getName());
    delete block;
}

TEST_F(BlockFileTest, TypedReads)
{
    ASSERT_TRUE(load("T {\n"
                     " hex 0x1F\n dec -42 // note\n oct 010\n word abc\n"
                     " f 2.5\n"
                     " s   hello world  \t // comment\n"
                     " e\n"
                     " v 1, 2.5,  -3\n v2 1, 2\n v4 1,2,3,4\n"
                     " m 1,2,3,4,5,6,7,8,9\n"
                     " o 10, 20, 30\n wrap 270, -270, 180\n one 45\n"
                     " child { }\n"
                     "}\n"));
    CParamBlock* b = first();
    int i = 7;
    for (auto [name, wanted] : {std::pair{"HEX", 31}, {"dec", -42}, {"oct", 8}}) {
        EXPECT_TRUE(b->parseInt(name, &i)) << name;
        EXPECT_EQ(wanted, i) << name;
    }
    for (const char* name : {"word", "child", "missing"}) EXPECT_FALSE(b->parseInt(name, &i)) << name;
    EXPECT_EQ(8, i);  // untouched by failures
    float f = 0;
    EXPECT_TRUE(b->parseFloat("f", &f));
    EXPECT_EQ(2.5f, f);

    char s[64], small[6];
    EXPECT_TRUE(b->parseString("s", s));
    EXPECT_STREQ("hello world", s);
    EXPECT_EQ(std::vector<int>({12, 1, 0, 0}), std::vector<int>({b->parseStringGetSize("s"), b->parseStringGetSize("e"),
                                                                   b->parseStringGetSize("child"), b->parseStringGetSize("missing")}));
    EXPECT_TRUE(b->parseString("s", small));  // cut to the buffer, never past it
    EXPECT_STREQ("hello", small);
    float v[9] = {};
    EXPECT_TRUE(b->parseVector("v", v));
    EXPECT_EQ(std::vector<float>({1, 2.5f, -3}), std::vector<float>(v, v + 3));
    EXPECT_FALSE(b->parseVector("v2", v));
    EXPECT_FALSE(b->parseMatrix("v4", v));
    EXPECT_TRUE(b->parseVector4("v4", v));
    EXPECT_TRUE(b->parseMatrix("m", v));
    EXPECT_EQ(std::vector<float>({1, 2, 3, 4, 5, 6, 7, 8, 9}), std::vector<float>(v, v + 9));
    // Orientations are stored z, y, x in radians, wrapped into -pi..pi (exactly pi stays).
    float o[3], w[3];
    EXPECT_TRUE(b->parseOrientation("o", o));
    EXPECT_TRUE(b->parseOrientation("wrap", w));
    for (auto [got, degrees] : {std::pair{o[0], 30.0f}, {o[2], 10.0f}, {w[0], 180.0f}, {w[1], -270.0f + 360.0f}})
        EXPECT_FLOAT_EQ(degrees * 0.017453292f, got);
    for (const char* name : {"one", "v2"}) EXPECT_FALSE(b->parseOrientation(name, o)) << name;
    EXPECT_EQ(2, countReports("Found a malformed orientation!"));
}

TEST_F(BlockFileTest, LookupsIgnoreCaseTakeTheFirstAndCompare32Characters)
{
    const std::string longName = std::string(32, 'k');
    ASSERT_TRUE(load("T {\n Dup 1\n dup 2\n Kid {\n a 1\n}\n kid {\n a 2\n}\n " + longName + " 5\n}\n"));
    CParamBlock* b = first();
    int dup = 0, a = 0, longer = 0;
    CParamBlock* kid = nullptr;
    ASSERT_TRUE(b->findBlock("KID", &kid));
    EXPECT_TRUE(b->parseInt("DUP", &dup));
    EXPECT_TRUE(kid->parseInt("a", &a));
    EXPECT_TRUE(b->parseInt((longName + "extra").c_str(), &longer));
    EXPECT_EQ(std::vector<int>({1, 1, 5}), std::vector<int>({dup, a, longer}));
    EXPECT_FALSE(b->findBlock("Dup", &kid));  // a value of that name is not a block
    CParameter* param = nullptr;
    ASSERT_TRUE(b->getBlock(1, &kid));
    ASSERT_TRUE(b->getParameter(2, &param));
    EXPECT_EQ(std::make_pair(std::string("kid"), std::string("Kid")), std::make_pair(std::string(kid->getName()), std::string(param->getName())));
    EXPECT_FALSE(b->getBlock(2, &kid));
    EXPECT_FALSE(b->getParameter(5, &param));
}

TEST_F(BlockFileTest, EditsAndStaleCounts)
{
    ASSERT_TRUE(load("T {\n a 1\n B { }\n C { }\n}\n"));
    CParamBlock* b = first();
    EXPECT_TRUE(b->setString("A", std::string(300, 'y').c_str()));  // in place, cut to 256
    EXPECT_EQ(257, b->parseStringGetSize("a"));
    EXPECT_TRUE(b->setInt("A", 0x10));  // in place
    EXPECT_TRUE(b->setString("b", "text that replaces a block"));
    EXPECT_TRUE(b->setString("new", std::string(300, 'z').c_str()));
    const float v[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(std::vector<bool>(4, true), std::vector<bool>({b->addInt("i", -3), b->addFloat("f", 1.5f), b->addVector("v", v), b->addMatrix("m", v)}));
    EXPECT_EQ("T[1,2]{a=16;C[0,0]{}b=text that replaces a block;new=" + std::string(256, 'z') +
                  ";i=-3;f=1.500000;v=1.000000, 2.000000, 3.000000;"
                  "m=1.000000, 2.000000, 3.000000, 4.000000, 5.000000, 6.000000, 7.000000, 8.000000, 9.000000;}",
              describe(b));
    EXPECT_EQ(8u, b->getNumParameters());

    // The child-block count still says 2, but only one block is left.
    CParamBlock* kid = nullptr;
    EXPECT_TRUE(b->getBlock(0, &kid));
    EXPECT_FALSE(b->getBlock(1, &kid));
    EXPECT_TRUE(b->removeParameter("c"));
    EXPECT_FALSE(b->getBlock(0, &kid));
    EXPECT_FALSE(b->removeParameter("c"));
    EXPECT_EQ(7u, b->getNumParameters());
    EXPECT_TRUE(b->removeParameter("m"));  // the tail: later appends still land at the end
    EXPECT_TRUE(b->addParameter(new CParamBlock("Tail")));
    CParameter* last = nullptr;
    ASSERT_TRUE(b->getParameter(6, &last));
    EXPECT_STREQ("Tail", last->getName());
}

TEST_F(BlockFileTest, SavedBlocksReadBackToTheSameTree)
{
    ASSERT_TRUE(load("GameConfig\n{\n level\n {\n  currentlevelpath   data\\levels\\c01m1\n"
                     "  note 5 // kept\n  empty\n }\n {\n unnamed 1\n }\n MechWeapons\n {\n }\n}\nSecond {\n x 1\n}\n"));
    const std::string before = describe(first()) + describe(list.pHead->pNext->pObject);
    ASSERT_TRUE(saveBlocks("out.txt", list, true));
    const std::string written = dir.read("out.txt");
    EXPECT_EQ(0u, written.find("GameConfig\r\n{\r\n\tlevel\r\n\t{\r\n\t\tcurrentlevelpath\tdata\\levels\\c01m1\r\n"));
    EXPECT_NE(std::string::npos, written.find("\t\tempty\t\r\n"));

    blockList again;
    ASSERT_TRUE(loadBlocks("out.txt", again, 64));
    ASSERT_EQ(2u, again.count);
    EXPECT_EQ(before, describe(again.pHead->pObject) + describe(again.pHead->pNext->pObject));
    deleteBlockList(again);

    ASSERT_TRUE(saveBlock("flat.txt", first(), false));
    EXPECT_EQ(std::string::npos, dir.read("flat.txt").find('\t' + std::string("level")));
    CParamBlock* block = nullptr;
    ASSERT_TRUE(loadFirstBlock("flat.txt", &block, 64));
    EXPECT_EQ(describe(first()), describe(block));
    delete block;
    block = first()->cloneBlock();  // a clone keeps the order and the counts
    EXPECT_EQ(describe(first()), describe(block));
    delete block;
}

TEST_F(BlockFileTest, FailedSaveLeavesNoFile)
{
    CParamBlock block("Big");
    for (int i = 0; i < 200; ++i) block.addString(("name" + std::to_string(i)).c_str(), std::string(200, 'v').c_str());
    dir.write("folder/keep", "");
    EXPECT_FALSE(saveBlock("folder", &block, true));  // a folder cannot be written
    EXPECT_TRUE(dir.exists("folder/keep"));

    // The file system refuses past 8 KB: the half-written file is removed.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit old = {}, small = {};
    getrlimit(RLIMIT_FSIZE, &old);
    small = {8192, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = saveBlock("big.txt", &block, true);
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(dir.exists("big.txt"));
    EXPECT_TRUE(saveBlock("big.txt", &block, true));
}

TEST_F(BlockFileTest, IncludeProblemsAreReportedAndReadingGoesOn)
{
    ASSERT_TRUE(load("T {\n #include nothere.txt\n a 1\n}\n"));
    EXPECT_EQ(1, countReports("Include file - nothere.txt - referenced from a blockfile, not able to load "
                              "(missing file?)"));
    EXPECT_EQ("T[1,0]{a=1;}", describe(first()));

    // A file that includes itself stops at the include depth limit instead of the stack's end.
    testsupport::clearReports();
    dir.write("self.txt", "S {\n #include self.txt\n}\n");
    deleteBlockList(list);
    ASSERT_TRUE(loadBlocks("self.txt", list, 64));
    EXPECT_EQ(1, countReports("too many or too deep includes"));
    int depth = 0;
    for (CParamBlock* b = list.pHead->pObject; b->findBlock("S", &b);) ++depth;
    EXPECT_EQ(MAX_INCLUDE_DEPTH, depth);

    // Including itself twice would double the work at every level: the total is bounded too,
    // and the limit is reported once.
    testsupport::clearReports();
    dir.write("twice.txt", "S {\n #include twice.txt\n #include twice.txt\n}\n");
    deleteBlockList(list);
    ASSERT_TRUE(loadBlocks("twice.txt", list, 64));
    EXPECT_EQ(1, countReports("too many or too deep includes"));
    std::function<int(const CParamBlock*)> count = [&](const CParamBlock* block) {
        int n = 1;
        for (const paramNode* node = block->getFirstNode(); node; node = node->pNext)
            n += count(static_cast<const CParamBlock*>(node->pParam));
        return n;
    };
    EXPECT_EQ(1 + MAX_INCLUDE_LOADS, count(list.pHead->pObject));
}

TEST_F(BlockFileTest, NestingIsReportedPastTheLimitAndFailsPastTheHardLimit)
{
    ASSERT_TRUE(load("L0 { L1 { L2 { L3 { } } } }\n", 1));
    EXPECT_EQ(1, countReports("Exceeded maximum nesting level, offending block name = L2"));
    EXPECT_EQ(1, countReports("(nestLevel<=maxNestLevel)"));
    CParamBlock* b = first();
    for (const char* name : {"L1", "L2", "L3"}) ASSERT_TRUE(b->findBlock(name, &b)) << name;  // kept


    std::string deep = "Ok { }\n";
    for (int i = 0; i <= MAX_BLOCK_DEPTH + 1; ++i) deep += "a {\n";
    for (int i = 0; i <= MAX_BLOCK_DEPTH + 1; ++i) deep += "}\n";
    ASSERT_TRUE(load(deep, 100000, "deep.txt"));
    EXPECT_EQ(1, countReports("Block nested too deeply"));
    // The block past the limit fails and is read again as the value line "a {", as any failed
    // child block is; its closing brace then ends the top-level block early.
    ASSERT_EQ((std::vector<std::string>{"Ok", "a"}), names());
    int depth = 0;
    for (CParamBlock* b = list.pHead->pNext->pObject; b->findBlock("a", &b);) ++depth;
    EXPECT_EQ(MAX_BLOCK_DEPTH, depth);

    // Broken deep nesting: every level's retry as value lines must not multiply the work.
    std::string broken;
    for (int i = 0; i < 200; ++i) broken += "a {\n";
    broken += "-x\n";
    ASSERT_TRUE(load(broken, 100000, "broken.txt"));
    EXPECT_EQ(0u, list.count);
}

TEST_F(BlockFileTest, AFileCutShortOrWithAStrayWordIsReportedOnceNamingItByEveryReader)
{
    const auto scan = [](const char* name) {
        char* text = nullptr;
        blockStartList starts;
        EXPECT_TRUE(scanBlocks(name, &text, starts));
        deleteBlockStartList(starts);
        delete[] text;
    };
    // The first fault is the file's one report; the cut after it follows from the same damage.
    for (const char* name : {"one.txt", "two.txt"}) {
        dir.write(name, "A\n{\n x 1\n}\nstray\nB\n{\n y {\n");
        scan(name);
        EXPECT_EQ(1, countReports(std::string("Block file ") + name + ": a word outside every block"));
        EXPECT_EQ(0, countReports(std::string("Block file ") + name + ": ends inside a block"));
    }
    // Cut alone, scanned or loaded: said by whichever reads it, as each read is one of its own (the
    // run log writes the same text once).
    dir.write("cut.txt", "A\n{\n x 1\n}\nB\n{\n y {\n");
    scan("cut.txt");
    ASSERT_TRUE(loadBlocks("cut.txt", list, 64));
    ASSERT_EQ((std::vector<std::string>{"A"}), names());
    EXPECT_EQ(2, countReports("Block file cut.txt: ends inside a block"));
    // An included file is a file of its own: its cut names it, and the including file reads on.
    dir.write("inc.txt", "Inc {\n z 0\n}\nLost {\n");
    ASSERT_TRUE(load("T {\n #include inc.txt\n a 1\n}\nU { }\n", 64, "outer.txt"));
    EXPECT_EQ("T[1,1]{Inc[1,0]{z=0;}a=1;}", describe(first()));
    EXPECT_EQ(2u, list.count);
    EXPECT_EQ(1, countReports("Block file inc.txt: ends inside a block"));
    EXPECT_EQ(5, countReports("Block file "));
}

TEST_F(BlockFileTest, TruncatedInputKeepsWhatCameBeforeTheCutAndRandomInputLoadsUnderTheSanitizer)
{
    const std::string sample =
        "/* c */ A {\n x 1 // y\n B\n {\n v 1, 2, 3\n #include a.txt\n { }\n }\n s \"q\"\n}\nC { }\n";
    dir.write("a.txt", "Inc {\n z 0\n}\n");
    const std::vector<std::string> whole = {"A", "C"};
    for (size_t n = 0; n <= sample.size(); ++n) {
        EXPECT_TRUE(load(sample.substr(0, n)));
        const std::vector<std::string> kept = names();
        EXPECT_EQ(kept, std::vector<std::string>(whole.begin(), whole.begin() + std::min<size_t>(kept.size(), 2))) << n;
        for (auto* node = list.pHead; node; node = node->pNext) describe(node->pObject);
    }
    EXPECT_EQ(names(), whole);
    std::mt19937 rng(1234);
    const char alphabet[] = "ab_{}/*#-\r\n\t ,0x";
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const size_t length = rng() % 400;
        for (size_t i = 0; i < length; ++i)
            text += (round & 1) ? static_cast<char>(rng() & 0xFF) : alphabet[rng() % (sizeof alphabet - 1)];
        EXPECT_TRUE(load(text));
    }
}

}  // namespace
