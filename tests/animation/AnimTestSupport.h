// Animations written to a temporary folder and loaded, with the list pool their trees need.
#pragma once

#include "animation/Animation.h"
#include "utility/LList.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The linear sample: the root moves 100 along x in 1000 ms while armL turns 90 degrees about z.
inline const char* const kLinearSample =
    "#HIERARCHY\n"
    "\"Root\" \"none\"\n"
    "\"armL\" \"Root\"\n"
    "#NAME:\"Root\"\n"
    "#TRACK:POS #CONTROLLER:Linear\n"
    "0[0,0,0] 4800[100,0,0]\n"
    "#NAME:\"armL\"\n"
    "#TRACK:ROT #CONTROLLER:Linear\n"
    "0[1,0,0,0] 4800[0.70710678,0,0,0.70710678]\n";

class AnimTest : public ::testing::Test {
protected:
    void SetUp() override { llistInitElementPool(); }
    void TearDown() override { llistFreeElementPool(); }

    std::unique_ptr<CAnimation> load(const std::string& text)
    {
        m_dir.write("anim.txt", text);
        return std::make_unique<CAnimation>(m_dir.file("anim.txt").c_str());
    }

    testsupport::TempDir m_dir;
};

inline CAnimNode* node(CAnimation& anim, const char* name) { return anim.GetHierarchy().FindNodeByName(name); }
