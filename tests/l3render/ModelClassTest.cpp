// Class definition files: the line rules, several classes a file, and the limits of the tables.
#include "ModelFixture.h"

using ModelClassTest = ModelFixture;

namespace {

const uint32_t UNKNOWN = 0xFFFF;

uint32_t classId(const char* name, bool load = true)
{
    uint32_t id = UNKNOWN;
    return CModelClassManager::FindClassId(name, &id, load) ? id : UNKNOWN;
}

std::string elements(const char* name)
{
    const CModelClass* c = CModelClassManager::GetClass(classId(name, false));
    std::string out;
    for (uint32_t i = 0; c && i < c->m_numElements; ++i) out += std::string(c->GetElementName(i)) + "|";
    return out;
}

}  // namespace

TEST_F(ModelClassTest, LinesNameClassesAndTheirElements)
{
    write("data/classdef/robot.def", "; robot parts, not a class line\r\nCLASS Robot   ; trailing words\r\n{\r\n  root\r\n"
                                     "\tarmL        ; becomes \"arml\"\r\n\r\n  \"left hand\" extra\r\n}\r\n"
                                     "class \"Big Tank\"\n{ class inside\nhull\n" + std::string(200, 'z') + "\n}\n");
    // Known only once asked for with loading allowed.
    EXPECT_EQ(classId("robot", false), UNKNOWN);
    EXPECT_EQ(classId("ROBOT"), 1u);
    EXPECT_EQ(elements("robot"), "root|arml||left hand|");
    EXPECT_EQ(elements("Big Tank"), "hull|" + std::string(CModelClassManager::MAX_TOKEN, 'z') + "|");
    uint32_t index = 0;
    ASSERT_TRUE(CModelClassManager::GetClass(1)->FindElement("ARML", &index));
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(classId("missing"), UNKNOWN);
    EXPECT_TRUE(testsupport::reports().empty());

    // A second class line before the list is refused and the first stands; a list with no class
    // line belongs to nothing. The file's first fault is its one report, naming it.
    write("data/classdef/odd.def", "class odd\nclass even\n{\na\n}\n{\nb\n}\nclass later\n{\nc\n}\n");
    const int checks = checksFailed();
    EXPECT_EQ(classId("odd"), 3u);
    EXPECT_EQ(elements("odd") + elements("later"), "a|c|");
    EXPECT_EQ(classId("even", false), UNKNOWN);
    EXPECT_EQ(checksFailed() - checks, 2);
    ASSERT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(testsupport::reports()[0].expression, "pClass == NULL");
    EXPECT_EQ(testsupport::reports()[0].message, "While reading data\\classdef\\odd.def");

    // Reset keeps only the default class.
    CModelClassManager::Reset();
    EXPECT_EQ(1u, CModelClassManager::GetNumClasses());
    EXPECT_EQ(CModelClassManager::GetDefaultClassId(), classId("default", false));
}

TEST_F(ModelClassTest, TheTablesStopTheReading)
{
    const auto& boxes = platform::testing::messageBoxes();
    // The 33rd class is refused after its box and nothing after it is read.
    std::vector<std::pair<std::string, std::vector<std::string>>> many;
    for (int i = 0; i < 33; ++i) many.push_back({"c" + std::to_string(i), {"e"}});
    write("data/classdef/c0.def", mw::classFile(many));
    EXPECT_EQ(classId("c0"), 1u);
    EXPECT_EQ(CModelClassManager::GetNumClasses(), CModelClassManager::MAX_MODEL_CLASSES);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Too many model classes\nIncrease MAX_MODEL_CLASSES");

    // A duplicate ends the reading.
    CModelClassManager::Reset();
    write("data/classdef/dup.def", mw::classFile({{"dup", {"a"}}, {"DUP", {"b"}}, {"after", {"c"}}}));
    EXPECT_EQ(std::vector<uint32_t>({1u, UNKNOWN}), std::vector<uint32_t>({classId("dup"), classId("after", false)}));
    EXPECT_EQ(boxes.back().text, "Duplicate class name");

    // A full element table closes the class with its last name and stops.
    CModelClassManager::Reset();
    std::vector<std::string> names;
    for (uint32_t i = 0; i < 1100; ++i) names.push_back(std::to_string(i));
    write("data/classdef/big.def", mw::classFile({{"big", names}, {"next", {"x"}}}));
    EXPECT_EQ(classId("big"), 1u);
    EXPECT_EQ(CModelClassManager::GetTotalElements(), CModelClassManager::MAX_MODEL_ELEMENTS);
    EXPECT_STREQ("1023", CModelClassManager::GetClass(1)->GetElementName(1023));
    EXPECT_EQ(UNKNOWN, classId("next", false));
    EXPECT_EQ(testsupport::countReports("totalElements < MAX_MODEL_ELEMENTS"), 1);

    // So does a name buffer without room for one more name of 128 bytes.
    CModelClassManager::Reset();
    names.assign(100, std::string(100, 'n'));  // 101 bytes each after "default" and "long"
    write("data/classdef/long.def", mw::classFile({{"long", names}, {"next", {"x"}}}));
    EXPECT_EQ(classId("long"), 1u);
    EXPECT_EQ(80u, CModelClassManager::GetClass(1)->m_numElements);
    EXPECT_EQ(UNKNOWN, classId("next", false));

    EXPECT_EQ(testsupport::countReports("((pNextName - pNameBuffer) + 129) < NAME_BUFFER_SIZE"), 1);
}
