#include "textdatabase/TextDatabase.h"

#include "TestSupport.h"
#include "textdatabase/TextConversion.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using testsupport::countReports;
using testsupport::reports;

namespace {

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
              "COMSTEXTID_7 \"caf\xE9\"\r\n"
              "COMSTEXTID_8 \"\x80uro\"\n"
              "OTHERID_9 \"not ours\"\n"
              "  prefix COMSTEXTID_10 \"anywhere\" ");
    ASSERT_TRUE(createTextDatabase("text.txt", "COMSTEXTID"));
    EXPECT_TRUE(reports().empty());

    EXPECT_EQ(u"Hello", text(getText("COMSTEXTID", 12)));
    EXPECT_EQ(u"Trois", text(getText("COMSTEXTID", 3)));  // the later line wins by number
    EXPECT_EQ(u"caf\u00E9", text(getText("COMSTEXTID", 7)));
    EXPECT_EQ(u"\u20ACuro", text(getText("COMSTEXTID", 8)));
    EXPECT_EQ(u"anywhere", text(getText("COMSTEXTID", 10)));
    for (int hole : {-1, 0, 1, 5, 9, 11, 13})
        EXPECT_EQ(nullptr, getText("COMSTEXTID", hole)) << hole;
    EXPECT_EQ(nullptr, getText("comstextid", 12));  // names are case-sensitive
    EXPECT_EQ(nullptr, getText("OTHERID", 9));
    ASSERT_NE(nullptr, findTextDatabase("COMSTEXTID"));
    EXPECT_EQ(12, findTextDatabase("COMSTEXTID")->GetMaxID());
    EXPECT_EQ(6u, findTextDatabase("COMSTEXTID")->GetNumEntries());

    int number = 0;
    EXPECT_TRUE(findTextID("COMSTEXTID", u"Three", &number));
    EXPECT_EQ(3, number);
    EXPECT_TRUE(findTextID("COMSTEXTID", u"Hello there", &number));  // the entry begins the text
    EXPECT_EQ(12, number);
    EXPECT_FALSE(findTextID("COMSTEXTID", u"Hell", &number));
    EXPECT_FALSE(findTextID("NOSUCHID", u"Hello", &number));
}

TEST_F(TextDatabaseTest, FindMeetsEntriesInFileOrder)
{
    dir.write("a.txt",
              "ID_4 \"Go\"\n"
              "ID_2 \"Go home\"\n"
              "ID_6 \"\"\n");
    ASSERT_TRUE(createTextDatabase("a.txt", "ID"));
    int number = 0;
    EXPECT_TRUE(findTextID("ID", u"Go home now", &number));
    EXPECT_EQ(4, number);
    EXPECT_TRUE(findTextID("ID", u"anything", &number));  // the empty text matches anything
    EXPECT_EQ(6, number);
    EXPECT_EQ(u"", text(getText("ID", 6)));
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
              "COMSTEXTID_6 \"good\"\n");
    ASSERT_TRUE(createTextDatabase("bad.txt", "COMSTEXTID"));
    EXPECT_EQ(1, countReports("Failed to find \" at the begining of line COMSTEXTID_1 no quotes"));
    EXPECT_EQ(1, countReports("qpos!=NULL"));
    EXPECT_EQ(1, countReports("Failed to find \" at the end of line COMSTEXTID_2"));
    EXPECT_EQ(1, countReports("Failed to find \" at the end of line COMSTEXTID_4"));
    EXPECT_EQ(2, countReports("q2pos!=NULL"));
    EXPECT_EQ(1, countReports("COMSTEXTID_12345"));
    EXPECT_EQ(1, countReports("widstring too small.  Possible missing quote in text file"));
    EXPECT_EQ(1, countReports("dist <20"));
    EXPECT_EQ(5u, reports().size());

    const CTextDatabase* database = findTextDatabase("COMSTEXTID");
    ASSERT_NE(nullptr, database);
    EXPECT_EQ(1u, database->GetNumEntries());
    EXPECT_EQ(6, database->GetMaxID());
    EXPECT_EQ(u"good", text(getText("COMSTEXTID", 6)));
}

TEST_F(TextDatabaseTest, NumberSpansAtTheirLimits)
{
    dir.write("limits.txt",
              "N_9999 \"last\"\n"
              "N_0001 \"leading zeros\"\n"
              "N_10000 \"five\"\n"
              "N_1234567890123456789 \"nineteen\"\n"
              "N_12345678901234567890 \"twenty\"\n");
    ASSERT_TRUE(createTextDatabase("limits.txt", "N"));
    EXPECT_EQ(u"last", text(getText("N", 9999)));
    EXPECT_EQ(u"leading zeros", text(getText("N", 1)));
    EXPECT_EQ(9999, findTextDatabase("N")->GetMaxID());
    EXPECT_EQ(2u, findTextDatabase("N")->GetNumEntries());
    // Five to nineteen characters are too many digits; twenty is the span the parser cannot hold.
    EXPECT_EQ(1, countReports("N_10000"));
    EXPECT_EQ(1, countReports("N_1234567890123456789 "));
    EXPECT_EQ(1, countReports("widstring too small.  Possible missing quote in text file"));
    EXPECT_EQ(3u, reports().size());
}

TEST_F(TextDatabaseTest, DatabasesAreReplacedRemovedAndRefused)
{
    dir.write("one.txt", "X_1 \"one\"\n");
    dir.write("two.txt", "X_2 \"two\"\n");
    ASSERT_TRUE(createTextDatabase("one.txt", "X"));
    dir.write("lower.txt", "x_2 \"small\"\nX_2 \"big\"\n");
    ASSERT_TRUE(createTextDatabase("lower.txt", "x"));
    ASSERT_TRUE(createTextDatabase("two.txt", "X"));  // replaces the first X
    EXPECT_EQ(nullptr, getText("X", 1));
    EXPECT_EQ(u"two", text(getText("X", 2)));
    EXPECT_EQ(u"small", text(getText("x", 2)));

    removeTextDatabase("X");
    EXPECT_EQ(nullptr, findTextDatabase("X"));
    EXPECT_NE(nullptr, findTextDatabase("x"));

    // An unopenable file leaves the database there, empty.
    EXPECT_FALSE(createTextDatabase("missing.txt", "EMPTY"));
    ASSERT_NE(nullptr, findTextDatabase("EMPTY"));
    EXPECT_EQ(0, findTextDatabase("EMPTY")->GetMaxID());
    EXPECT_EQ(nullptr, getText("EMPTY", 1));
    EXPECT_TRUE(reports().empty());

    EXPECT_FALSE(createTextDatabase("one.txt", "ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(1, countReports("TextIDString too long to process line"));
    EXPECT_EQ(1, countReports("strlen( TextIDString) < 20"));
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
        const CTextDatabase* database = findTextDatabase("ID");
        ASSERT_NE(nullptr, database);
        EXPECT_LE(database->GetMaxID(), 9999);
        for (int n = 0; n <= database->GetMaxID() + 1; ++n) getText("ID", n);
    }
}

TEST(TextConversionTest, BothSpecialCharactersMapBothWays)
{
    const char ascii[] = "\xE9\x80\x9F\x81\xFF";
    WCHAR wide[8];
    asciiToUnicode(ascii, wide, 8);
    EXPECT_EQ(u"\u00E9\u20AC\u0178\u0081\u00FF", std::u16string(wide));

    char back[8];
    EXPECT_TRUE(unicodeToAscii(wide, back, 8));  // the two mapped characters are above U+00FF
    EXPECT_EQ(std::string(ascii), back);
    EXPECT_FALSE(unicodeToAscii(u"caf\u00E9", back, 8));
    EXPECT_EQ("caf\xE9", std::string(back));
    EXPECT_TRUE(unicodeToAscii(u"\u0141", back, 8));  // any other: its low byte
    EXPECT_EQ("A", std::string(back));
    EXPECT_FALSE(unicodeToAscii(u"", back, 8));
    EXPECT_EQ("", std::string(back));
    EXPECT_TRUE(reports().empty());
}

TEST(TextConversionTest, TooSmallBuffersAreReportedAndCut)
{
    char ascii[4] = {'x', 'x', 'x', 'x'};
    EXPECT_TRUE(unicodeToAscii(u"ab\u20ACcdef", ascii, 4));
    EXPECT_EQ("ab\x80", std::string(ascii));
    EXPECT_EQ(1, countReports("Ascii Buffer too small for UNICODE string. Buffer size: 4  String Size: 7\n"
                              "String: ab\x80" "cdef"));
    EXPECT_FALSE(unicodeToAscii(u"abcd", ascii, 4));
    EXPECT_EQ("abc", std::string(ascii));
    EXPECT_EQ(2, countReports("Ascii Buffer too small"));

    WCHAR wide[3];
    asciiToUnicode("abc", wide, 3);
    EXPECT_EQ(u"ab", std::u16string(wide));
    EXPECT_EQ(1, countReports("UNICODE Buffer too small for Ascii string"));
    EXPECT_EQ(1, countReports("(unsigned)ascii_length < UnicodeBufferSize"));
}

}  // namespace
