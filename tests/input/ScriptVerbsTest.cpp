#include "input/InputDevices.h"
#include "input/InputRecordSet.h"

#include "platform/inputscript.h"
#include "platform/testing/input.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ti = platform::testing::input;
using platform::dinput::InputVerbHandler;

namespace {

InputVerbHandler verb(const char* name)
{
    for (const platform::dinput::InputScriptVerb& v : platform::dinput::inputScriptVerbs)
        if (std::strcmp(v.verb, name) == 0) return v.handler;
    return nullptr;
}

class ScriptVerbsTest : public ::testing::Test {
protected:
    void SetUp() override { ti::reset(); }
    void TearDown() override
    {
        shutdownInputDevices();
        ti::reset();
    }
};

TEST(ScriptKeyNames, NamesAndNumbers)
{
    using platform::dinput::scanCodeFromName;
    EXPECT_EQ(scanCodeFromName("DIK_SPACE"), 0x39);
    EXPECT_EQ(scanCodeFromName("SPACE"), 0x39);
    EXPECT_EQ(scanCodeFromName("0x39"), 0x39);
    EXPECT_EQ(scanCodeFromName("1"), DIK_1) << "a single digit is the key";
    EXPECT_EQ(scanCodeFromName("dik_space"), -1);
    EXPECT_EQ(scanCodeFromName("0x100"), -1);
    EXPECT_EQ(scanCodeFromName(""), -1);
}

TEST_F(ScriptVerbsTest, KeysAndMouse)
{
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    InputVerbHandler dik = verb("dik"), mouse = verb("mouse");
    ASSERT_TRUE(dik && mouse);

    EXPECT_TRUE(dik("DIK_A down"));
    EXPECT_TRUE(isKeyDown(DIK_A, true));
    EXPECT_TRUE(dik("  A   up "));
    EXPECT_FALSE(isKeyDown(DIK_A, true));
    EXPECT_FALSE(dik("A sideways"));
    EXPECT_FALSE(dik("NOSUCHKEY down"));

    EXPECT_TRUE(mouse("move 3 -4 120"));
    EXPECT_TRUE(mouse("button 2 down"));
    ASSERT_TRUE(readMouse());
    EXPECT_EQ(getMouseState().lX, 3);
    EXPECT_EQ(getMouseState().rgbButtons[2], 0x80);
    EXPECT_FALSE(mouse("move 1"));
    EXPECT_FALSE(mouse("button 8 down"));
    EXPECT_FALSE(mouse("jump"));
}

TEST_F(ScriptVerbsTest, PadsNamedByTheScriptAreAttachedAndMoved)
{
    testsupport::TempDir dir;
    dir.write("play.txt",
              "# a short run\n"
              "5 pad 1 axis x 0.5\n"
              "7 dik SPACE down\n"
              "9 pad 9 axis x 0.5\n"
              "20 close\n");
    EXPECT_EQ(platform::dinput::highestScriptPad(dir.file("play.txt").c_str()), 1);
    EXPECT_EQ(platform::dinput::highestScriptPad(dir.file("missing.txt").c_str()), -1);

    ti::attachJoystick("Real pad", "Pad");
    ti::useScript(dir.file("play.txt"));
    const bool wanted[MAX_JOYSTICKS] = {true, true, true, false};
    ASSERT_TRUE(initInputDevices(nullptr, wanted));
    ASSERT_EQ(theInputRecordSet.count(), 3);
    EXPECT_STREQ(theInputRecordSet.record(0).instanceName, "Scripted pad 0");
    EXPECT_STREQ(theInputRecordSet.record(1).instanceName, "Scripted pad 1");
    EXPECT_STREQ(theInputRecordSet.record(2).instanceName, "Real pad");

    InputVerbHandler pad = verb("pad");
    ASSERT_TRUE(pad);
    EXPECT_TRUE(pad("1 axis x 1.0"));
    EXPECT_TRUE(pad("1 axis slider1 -1"));
    EXPECT_TRUE(pad("0 pov 2 27000"));
    EXPECT_TRUE(pad("0 button 31 down"));
    SJoystickState state;
    ASSERT_TRUE(readJoystick(1, &state));
    EXPECT_EQ(state.lX, 500);
    EXPECT_EQ(state.rglSlider[1], -500);
    ASSERT_TRUE(readJoystick(0, &state));
    EXPECT_EQ(state.rglPOV[2], 27000);
    EXPECT_EQ(getLastJoystickState().rgbButtons[31], 0x80);
    EXPECT_TRUE(pad("0 pov 2 centre"));
    ASSERT_TRUE(readJoystick(0, &state));
    EXPECT_EQ(state.rglPOV[2], -1);

    EXPECT_FALSE(pad("2 axis x 0.5")) << "a real pad is not scripted";
    EXPECT_FALSE(pad("0 axis x 1.5"));
    EXPECT_FALSE(pad("0 button 32 down"));
}

}  // namespace
