#include "textdatabase/TextDatabase.h"
#include "TestSupport.h"
#include "textdatabase/TextConversion.h"
#include "utility/LList.h"
#include <gtest/gtest.h>
#include <random>
#include <string>

using testsupport::countReports;
using testsupport::reports;

std::u16string text(const WCHAR* t) { return t ? std::u16string(t) : u"<null>"; }

class TextDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override { llistInitElementPool(); }
    void TearDown() override
    {
        removeAllTextDatabases();
        EXPECT_EQ(0u, llistElementsInUse());
        llistFreeElementPool();
    }
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

TEST_F(TextDatabaseTest, LoadsNumberedTextsWithDuplicatesAndHoles)
{
    dir.write("text.txt",
              "COMSTEXTID_12 \"Hello\" // greeting\r\n"
              "COMSTEXTID_3 \"Three\"\r\n"
              "COMSTEXTID_3 \"Trois\"\r\n"
              "COMSTEXTID without underscore \"x\"\r\n"
              "COMSTEXTID_8 \"\x80uro\"\n"
              "OTHERID_9 \"not ours\"\n"
              "  prefix COMSTEXTID_10 \"anywhere\" ");
    ASSERT_TRUE(createTextDatabase("text.txt", "COMSTEXTID"));
    EXPECT_TRUE(reports().empty());
    EXPECT_EQ(u"Hello", text(getText("COMSTEXTID", 12)));
    EXPECT_EQ(u"Trois", text(getText("COMSTEXTID", 3)));  // the later line wins by number
    EXPECT_EQ(u"\u20ACuro", text(getText("COMSTEXTID", 8)));
    EXPECT_EQ(u"anywhere", text(getText("COMSTEXTID", 10)));
    for (int hole : {-1, 0, 1, 9, 11, 13}) EXPECT_EQ(nullptr, getText("COMSTEXTID", hole)) << hole;
    EXPECT_EQ(nullptr, getText("comstextid", 12));  // names are case-sensitive
    EXPECT_EQ(nullptr, getText("OTHERID", 9));
    EXPECT_EQ(12, findTextDatabase("COMSTEXTID")->GetMaxID());

    // Find meets entries in file order; an entry matches when it begins the text.
    dir.write("a.txt", "ID_4 \"Go\"\nID_2 \"Go home\"\nID_6 \"\"\n");
    ASSERT_TRUE(createTextDatabase("a.txt", "ID"));
    int number = 0;
    for (auto [id, wanted, found] : {std::tuple{"COMSTEXTID", u"Three", 3}, {"COMSTEXTID", u"Hello there", 12},
                                     {"ID", u"Go home now", 4}, {"ID", u"anything", 6}}) {
        EXPECT_TRUE(findTextID(id, wanted, &number));
        EXPECT_EQ(found, number);
    }
    EXPECT_FALSE(findTextID("COMSTEXTID", u"Hell", &number));
    EXPECT_FALSE(findTextID("NOSUCHID", u"Hello", &number));
}

TEST_F(TextDatabaseTest, MalformedLinesAreReportedAndMakeNoEntry)
{
    dir.write("bad.txt",
              "COMSTEXTID_1 no quotes\n"
              "COMSTEXTID_2 \"no end\n"
              "COMSTEXTID_12345 \"five digits\"\n"
              "COMSTEXTID_-5 \"negative\"\n"
              "COMSTEXTID_0 \"zero\"\n"
              "COMSTEXTID_abc \"not a number\"\n"
              "COMSTEXTID_\"no number\"\n"
              "COMSTEXTID_123456789012345678901 \"long\"\n"
              "COMSTEXTID_4 \"a//b\"\n"  // the comment cut comes first
              "// COMSTEXTID_5 \"commented out\"\n"
              "COMSTEXTID_6 \"good\"\n"
              "COMSTEXTID_9999 \"last\"\n"
              "COMSTEXTID_0001 \"leading zeros\"\n"
              "COMSTEXTID_1234567890123456789 \"nineteen\"\n");
    ASSERT_TRUE(createTextDatabase("bad.txt", "COMSTEXTID"));
    EXPECT_EQ(1, countReports("Failed to find \" at the begining of line COMSTEXTID_1 no quotes"));
    EXPECT_EQ(2, countReports("q2pos!=NULL"));
    EXPECT_EQ(1, countReports("COMSTEXTID_12345 "));
    // Five to nineteen digits are too many; twenty is the span the parser cannot hold.
    EXPECT_EQ(1, countReports("COMSTEXTID_1234567890123456789 "));
    EXPECT_EQ(1, countReports("widstring too small.  Possible missing quote in text file"));
    EXPECT_EQ(6u, reports().size());
    EXPECT_EQ(3u, findTextDatabase("COMSTEXTID")->GetNumEntries());
    EXPECT_EQ(9999, findTextDatabase("COMSTEXTID")->GetMaxID());
    EXPECT_EQ(u"good", text(getText("COMSTEXTID", 6)));
    EXPECT_EQ(u"leading zeros", text(getText("COMSTEXTID", 1)));
}

TEST_F(TextDatabaseTest, DatabasesAreReplacedRemovedAndRefused)
{
    dir.write("one.txt", "X_1 \"one\"\n");
    dir.write("two.txt", "X_2 \"two\"\nx_2 \"small\"\n");
    ASSERT_TRUE(createTextDatabase("one.txt", "X"));
    ASSERT_TRUE(createTextDatabase("two.txt", "x"));
    ASSERT_TRUE(createTextDatabase("two.txt", "X"));  // replaces the first X
    EXPECT_EQ(nullptr, getText("X", 1));
    EXPECT_EQ(u"small", text(getText("x", 2)));
    removeTextDatabase("X");
    EXPECT_EQ(nullptr, findTextDatabase("X"));
    EXPECT_NE(nullptr, findTextDatabase("x"));
    // An unopenable file leaves the database there, empty.
    EXPECT_FALSE(createTextDatabase("missing.txt", "EMPTY"));
    EXPECT_EQ(0, findTextDatabase("EMPTY")->GetMaxID());
    EXPECT_TRUE(reports().empty());
    EXPECT_FALSE(createTextDatabase("one.txt", "ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(1, countReports("TextIDString too long to process line"));
    EXPECT_EQ(nullptr, findTextDatabase("ABCDEFGHIJKLMNOPQRST"));
    EXPECT_TRUE(createTextDatabase("one.txt", "ABCDEFGHIJKLMNOPQRS"));
}

TEST_F(TextDatabaseTest, RandomFilesNeverBreakTheLoader)
{
    std::mt19937 rng(5);
    const char alphabet[] = "ID_0123456789\" /\n\x80\xFF-";
    for (int round = 0; round < 200; ++round) {
        std::string contents;
        const size_t length = rng() % 2000;
        for (size_t i = 0; i < length; ++i)
            contents += round % 2 ? static_cast<char>(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
        dir.write("rnd.txt", contents);
        createTextDatabase("rnd.txt", "ID");
        ASSERT_LE(findTextDatabase("ID")->GetMaxID(), 9999);
        for (int n = 0; n <= findTextDatabase("ID")->GetMaxID() + 1; ++n) getText("ID", n);
    }
}

TEST(TextConversionTest, TheEuroAndYDiaeresisMapBothWaysAndShortBuffersAreReportedAndCut)
{
    const char ascii[] = "\xE9\x80\x9F\x81\xFF";  // the euro and Y-diaeresis map both ways
    WCHAR wide[8];
    asciiToUnicode(ascii, wide, 8);
    EXPECT_EQ(u"\u00E9\u20AC\u0178\u0081\u00FF", std::u16string(wide));
    char back[8];
    EXPECT_TRUE(unicodeToAscii(wide, back, 8));
    EXPECT_EQ(std::string(ascii), back);
    EXPECT_FALSE(unicodeToAscii(u"caf\u00E9", back, 8));
    EXPECT_TRUE(unicodeToAscii(u"\u0141", back, 8));  // any other: its low byte
    EXPECT_EQ("A", std::string(back));
    EXPECT_TRUE(reports().empty());
    EXPECT_TRUE(unicodeToAscii(u"ab\u20ACcdef", back, 4));
    EXPECT_EQ("ab\x80", std::string(back));
    EXPECT_EQ(1, countReports("Ascii Buffer too small for UNICODE string. Buffer size: 4  String Size: 7\n"
                              "String: ab\x80" "cdef"));
    asciiToUnicode("abc", wide, 3);
    EXPECT_EQ(u"ab", std::u16string(wide));
    EXPECT_EQ(1, countReports("UNICODE Buffer too small for Ascii string"));
}
