// The OpenGL renderer draws on whichever thread calls the device: a video's streaming thread draws
// and presents frames while the thread that made the device waits.
#include "HeadlessDevice.h"

#include <thread>

namespace {

using ThreadedDrawTest = HeadlessDevice;

void frame(IDirect3DDevice9* device, D3DCOLOR colour)
{
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

}  // namespace

TEST_F(ThreadedDrawTest, AnotherThreadDrawsAndPresentsBetweenTheOwnersFrames)
{
    frame(m_device, 0xFFFF0000u);
    EXPECT_EQ(front(5, 5), 0xFFFF0000u);
    for (D3DCOLOR colour : {0xFF0000FFu, 0xFF00FF00u}) {
        std::thread other([&] { frame(m_device, colour); });
        other.join();
        EXPECT_EQ(front(5, 5), colour);
    }
    frame(m_device, 0xFFFFFFFFu);
    EXPECT_EQ(front(5, 5), 0xFFFFFFFFu);
}
