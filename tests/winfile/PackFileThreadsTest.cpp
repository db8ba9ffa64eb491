#include "winfile/PackFile.h"

#include "TestSupport.h"
#include "winfile/File.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

namespace {

std::string readWhole(const char* name)
{
    CFile file;
    if (!file.Open(name, FILE_MODE_READ)) return "<not opened>";
    std::string out(file.GetSize(), 0);
    uint32_t at = 0, got = 0;
    // Small pieces, so that every piece is a seek and a read of the pack.
    while (at < out.size() && file.Read(&out[at], std::min<uint32_t>(997, out.size() - at), &got)) at += got;
    out.resize(at);
    return out;
}

}  // namespace

// A stream thread reads its file from the open pack while the main thread reads others.
TEST(PackFileThreads, TwoThreadsReadTheirOwnBytesFromOnePack)
{
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    std::string contents[2];
    std::mt19937 rng(7);
    for (std::string& c : contents) {
        c.resize(40000);
        for (char& b : c) b = static_cast<char>(rng());
    }
    dir.write("one.wav", contents[0]);
    dir.write("two.wav", contents[1]);

    PackFileInit(1);
    ASSERT_TRUE(PackFileOpen("s.pak", PACKFILE_MODE_BUILD, 2));
    PackFileSetSource(PACK_SOURCE_BUILD);
    readWhole("one.wav");
    readWhole("two.wav");
    PackFileClose();
    ASSERT_TRUE(PackFileOpen("s.pak", PACKFILE_MODE_READ, 0));
    PackFileSetSource(PACK_SOURCE_READ);

    std::atomic<int> wrong{0};
    auto reader = [&wrong, &contents](int which) {
        for (int pass = 0; pass < 20; ++pass)
            if (readWhole(which ? "two.wav" : "one.wav") != contents[which]) ++wrong;
    };
    std::thread stream(reader, 1);
    reader(0);
    stream.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_TRUE(testsupport::reports().empty());

    PackFileSetSource(PACK_SOURCE_OFF);
    PackFileClose();
    PackFileShutdown();
}
