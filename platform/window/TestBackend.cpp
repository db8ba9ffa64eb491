#include "Backend.h"

namespace platform::windows {

namespace {

// Nothing on a screen: geometry and focus are what the test sets, and nothing ever arrives by itself.
class TestBackend : public Backend {
public:
    bool isTest() const override { return true; }
    void wait(int) override {}
    void screenSize(int& width, int& height) override { width = height = 0; }  // answered by the table
};

}  // namespace

Backend* makeTestBackend() { return new TestBackend; }

}  // namespace platform::windows
