#include "AnimTestSupport.h"

#include <cmath>
#include <fstream>
#include <iterator>

using testsupport::countReports;

namespace {

const std::string kHeader = "#HIERARCHY\n\"Root\" \"none\"\n\"armL\" \"Root\"\n";
const std::string kRootPart = "#NAME:\"Root\"\n#TRACK:POS #CONTROLLER:Linear\n0[0,0,0] 4800[100,0,0]\n";

std::string readSample(const char* name)
{
    std::ifstream in(std::string(VELDRANE_ROOT) + "/data/anims/" + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// Each bad file gives its code and one report naming it; every prefix of the sample files, cut at
// a line end or in the middle of a line, loads or fails cleanly, and a loaded one plays.
TEST_F(AnimTest, LoadResultsAndReports)
{
    // report: a text the reports must hold, or null for none at all (a file that fails is always
    // one report, naming it).
    struct Case { const char* what; std::string text; int32_t code; const char* report; };
    const std::string sample = kLinearSample;
    const Case cases[] = {
        {"as written", sample, ANIM_OK, nullptr},
        {"no final line feed", sample.substr(0, sample.size() - 1), ANIM_OK, nullptr},
        {"a track line ends the file", kHeader + "#NAME:\"Root\"\n#TRACK:POS #CONTROLLER:Linear\n", ANIM_OK, nullptr},
        {"no header", "HIERARCHY\n" + sample.substr(11), ANIM_ERR_FILE, nullptr},
        {"first line too long", "#HIERARCHY" + std::string(300, ' ') + "\n" + sample.substr(11), ANIM_ERR_FILE, "a line too long"},
        {"three quotes", "#HIERARCHY\n\"Root\" \"none\"\n\"armL\" Root\"\n" + kRootPart, ANIM_ERR_FILE, "count ==4"},
        {"unknown parent", kHeader + "\"hand\" \"elbow\"\n" + kRootPart, ANIM_ERR_FILE, "ParentNode"},
        {"ends inside the hierarchy", kHeader, ANIM_ERR_FILE, "ends inside its hierarchy"},
        {"no hierarchy lines", "#HIERARCHY\n" + kRootPart, ANIM_ERR_FILE, "has no hierarchy"},
        {"no part after the modifier", kHeader + "#RATEMODIFIER:2\n#TRACK:POS\n", ANIM_ERR_FILE, nullptr},
        {"part names no node", kHeader + "#NAME:\"leg\"\n", ANIM_ERR_TRACK, "Part"},
        {"no channel", kHeader + "#NAME:Root \"Root\"\n#TRACK:MOV #CONTROLLER:Linear\n0[1,1,1]\n", ANIM_ERR_TRACK, nullptr},
        {"blank line in a part", kHeader + kRootPart + "\n", ANIM_ERR_TRACK, nullptr},
        {"kinds mixed in a node", kHeader + kRootPart + "#TRACK:ROT #CONTROLLER:Captured #RATE:160\n[1,0,0,0]\n", ANIM_ERR_TRACK, "mixes"},
        {"key line too long",
         kHeader + "#NAME:\"Root\"\n#TRACK:POS #CONTROLLER:Linear\n" + std::string(20000, '0') + "[1,1,1]\n",
         ANIM_ERR_TRACK, "a line too long"},
        {"rate modifier 0", kHeader + "#RATEMODIFIER:0\n" + kRootPart, ANIM_OK, "#RATEMODIFIER can not be zero"},
        {"a key line without keys", kHeader + "#NAME:\"Root\"\n#TRACK:POS #CONTROLLER:Linear\nnone\n", ANIM_OK, "frms!=0"},
        {"a second line of other length", kHeader + kRootPart + "#TRACK:POS #CONTROLLER:Linear\n0[5,5,5]\n", ANIM_OK,
         "frms == Controller->TranslationData.GetTotalElements()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::clearReports();
        const std::string name = "anim" + std::to_string(m_loads) + ".txt";
        auto anim = load(c.text);
        EXPECT_EQ(c.code, anim->GetAnimError());
        EXPECT_EQ(c.code == ANIM_OK, anim->IsValid());
        if (c.report) {
            EXPECT_EQ(countReports(c.report), 1);
        }
        if (c.code != ANIM_OK) {
            EXPECT_EQ(testsupport::reports().size(), 1u);
            EXPECT_EQ(countReports("Animation file " + name + ": "), 1);
        } else if (!c.report) {
            EXPECT_TRUE(testsupport::reports().empty());
        }
    }
    // Not there, or a name no file may have: one report each.
    testsupport::clearReports();
    for (const char* name : {"missing.txt", "."}) EXPECT_EQ(ANIM_ERR_FILE, CAnimation(name).GetAnimError()) << name;
    EXPECT_EQ(countReports("Animation file missing.txt: not found"), 1);
    EXPECT_EQ(countReports("Can't open file <.>"), 1);
    EXPECT_EQ(testsupport::reports().size(), 2u);
    // A file that failed is not read again this run: its next reader fails without a word.
    m_dir.write("bad.txt", "#HIERARCHY\n\"Root\" \"none\"\n\"armL\" Root\"\n" + std::string(kRootPart));
    testsupport::clearReports();
    EXPECT_EQ(ANIM_ERR_FILE, CAnimation("bad.txt").GetAnimError());
    const size_t said = testsupport::reports().size();
    EXPECT_EQ(ANIM_ERR_FILE, CAnimation("BAD.TXT").GetAnimError());
    EXPECT_EQ(testsupport::reports().size(), said);
    EXPECT_EQ(countReports("count ==4"), 1);
    // Asked for while another file is read (a level script, say), its fault is its own: the
    // other file's own first fault is still written, under that file's name.
    testsupport::clearReports();
    {
        ReadingFile script("data\\levels\\demo\\m01.txt");
        m_dir.write("rate.txt", kHeader + "#RATEMODIFIER:0\n" + kRootPart);
        EXPECT_EQ(ANIM_OK, CAnimation("rate.txt").GetAnimError());
        assertFailed("script fault", __FILE__, __LINE__);
    }
    EXPECT_EQ(countReports("While reading rate.txt"), 1);
    EXPECT_EQ(countReports("While reading data\\levels\\demo\\m01.txt"), 1);

    for (const char* name : {"robot_walk.txt", "robot_wave.txt"}) {
        const std::string text = readSample(name);
        ASSERT_FALSE(text.empty());
        for (size_t end = 0; end <= text.size(); ++end) {
            const bool lineEnd = end == 0 || end == text.size() || text[end - 1] == '\n';
            if (!lineEnd && end % 7) continue;
            auto anim = load(text.substr(0, end));
            const int32_t code = anim->GetAnimError();
            EXPECT_TRUE(code == ANIM_OK || code == ANIM_ERR_FILE || code == ANIM_ERR_TRACK) << name << " cut at " << end;
            EXPECT_FALSE(code == ANIM_OK && (anim->Advance(40), std::isnan(anim->CurrentFrame)));
        }
    }
}

TEST_F(AnimTest, HierarchyFromTheFile)
{
    const std::string longName(300, 'n');
    auto anim = load("#HIERARCHY\n\"Root\" \"none\" #DUMMY\n\"a\" \"Hips\"\n\"b\" \"Hips\" #DUMMY\n\"a1\" \"a\"\n"
                     "\"A\" \"Hips\"\n\"" + longName + "\" \"b\"\n"
                     "#NAME:\"a\"\n#TRACK:POS #CONTROLLER:Linear\n0[1,2,3] 4800[5,6,7]\n");
    ASSERT_EQ(ANIM_OK, anim->GetAnimError());
    CAnimHierarchy& tree = anim->GetHierarchy();
    // The root is named after the second line's parent and takes the first line's dummy flag;
    // ids count creation, the walk is pre-order, names are exact and cut at 255 characters.
    std::string walk;
    tree.ForEach([](CAnimNode* n, void* out) {
        *static_cast<std::string*>(out) += std::string(n->Name).substr(0, 4) + std::to_string(n->Id) + (n->Dummy ? "d " : " ");
        return true;
    }, &walk);
    EXPECT_EQ("Hips0d a1 a13 b2d nnnn5 A4 ", walk);
    EXPECT_EQ(nullptr, tree.FindNodeByName("hips"));
    EXPECT_EQ(tree.FindNodeByName(longName.substr(0, 255).c_str()), tree.FindNodeById(5));

    // Only "a" has a track: the root counts as linear, and untracked nodes keep the identity.
    EXPECT_FLOAT_EQ(1000.0f, anim->Duration);
    anim->Advance(500);
    EXPECT_FLOAT_EQ(5.0f, node(*anim, "a")->Translation.z);
    for (const char* name : {"Hips", "b", "a1"}) {
        const CAnimNode* n = node(*anim, name);
        EXPECT_EQ(1.0f, n->Scale.y * n->Rotation.w * n->RotationMatrix.m[1][1]);
        EXPECT_EQ(0.0f, n->Translation.x);
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(AnimTest, LinearKeysAsWritten)
{
    auto anim = load(kHeader + "\"b\" \"Root\"\n#NAME:\"Root\"\n"
                     "xx#TRACK:POSyy #CONTROLLER:Linearzz\n0[7] 4800[1,2,3]x9600[4,4,4]\n"
                     "#TRACK:SCA #CONTROLLER:Linear\nt[5,5,5] 2400[2]\n"
                     "#TRACK:ROT #CONTROLLER:Linear\n0[0.5] 4800[0.5,0.5,0.5,0.5]\n"
                     "#NAME:\"b\"\n#TRACK:POS #CONTROLLER:Linear\n2400[7,7,7]\n");
    ASSERT_EQ(ANIM_OK, anim->GetAnimError());
    const CAnimController* c = node(*anim, "Root")->ControllerData;
    // Keywords anywhere in the line; missing values keep the channel's default; one separator
    // after each key, so "x9600" is read from "9600" (2000 ms).
    EXPECT_EQ(7.0f, c->GetTranslation(0.0f, true, true).x);
    EXPECT_EQ(0.0f, c->GetTranslation(0.0f, true, true).y);
    EXPECT_FLOAT_EQ(4.0f, c->GetTranslation(2000.0f, true, true).z);
    EXPECT_FLOAT_EQ(2000.0f, anim->Duration);
    EXPECT_EQ(7.0f, c->GetTranslation(1000.0f, false, true).x);  // at a key's time: the key before
    EXPECT_FLOAT_EQ(5.0f, c->GetTranslation(3000.0f, true, true).z);  // past the last: carried on
    // An unreadable time leaves the key at its presets: time 0, scale 1.
    EXPECT_EQ(1.0f, c->GetScale(0.0f, true, true).x);
    EXPECT_FLOAT_EQ(2.0f, c->GetScale(500.0f, true, true).x);
    // Rotations are w, x, y, z with w negated.
    EXPECT_EQ(-0.5f, c->GetRotation(0.0f, false, true).w);
    EXPECT_FLOAT_EQ(0.5f, c->GetRotation(1000.0f, true, true).x);
    // One key holds at every time, before it too.
    for (float t : {0.0f, 500.0f, 2000.0f}) EXPECT_EQ(7.0f, node(*anim, "b")->ControllerData->GetTranslation(t, true, true).y);
}

TEST_F(AnimTest, CapturedFramesAndRate)
{
    const std::string parts = "#NAME:\"Root\"\n#TRACK:POS #CONTROLLER:Captured #RATE:160\n[0,0,0] [10,0,0] [20,0,0] [30,0,0]\n"
                              "#TRACK:ROT #CONTROLLER:Captured #RATE:160\n[1,0,0,0] [1,0,0,0] [1,0,0,0] [1,0,0,0] [1,0,0,0]\n"
                              "#TRACK:SCA #CONTROLLER:Captured #RATE:160\n[2,2,2] [2,2,2]\n";
    auto anim = load(kHeader + parts);
    ASSERT_EQ(ANIM_OK, anim->GetAnimError());
    EXPECT_EQ(4, anim->NumFrames);  // the root's translation, though its rotation has more
    EXPECT_NEAR(133.3333f, anim->Duration, 1e-3f);

    const CAnimController* c = node(*anim, "Root")->ControllerData;
    const float frame = 1000.0f / 30.0f;
    EXPECT_NEAR(15.0f, c->GetTranslation(1.5f * frame, true, true).x, 1e-3f);
    EXPECT_EQ(10.0f, c->GetTranslation(1.5f * frame, false, true).x);
    // After the last frame: towards the first when looping, held otherwise.
    EXPECT_NEAR(15.0f, c->GetTranslation(3.5f * frame, true, true).x, 1e-3f);
    EXPECT_NEAR(30.0f, c->GetTranslation(3.5f * frame, true, false).x, 1e-3f);
    // Past a channel's own frames, and past the end, the default.
    EXPECT_EQ(1.0f, c->GetScale(2.5f * frame, true, true).x);
    EXPECT_EQ(0.0f, c->GetTranslation(4.5f * frame, true, true).x);

    // The modifier stretches captured frames only.
    EXPECT_NEAR(266.6667f, load(kHeader + "#RATEMODIFIER:2\n" + parts)->Duration, 1e-3f);
    EXPECT_FLOAT_EQ(1000.0f, load(kHeader + "#RATEMODIFIER:2\n" + kRootPart)->Duration);
}
