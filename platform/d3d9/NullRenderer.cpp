#include "Renderer.h"

namespace d3d9ref {

namespace {

class NullRenderer : public Renderer {
public:
    bool open(HWND, const D3DPRESENT_PARAMETERS&) override { return true; }
    void close() override {}
    void clear(const platform::testing::D3D9State&, DWORD, D3DCOLOR, float, DWORD) override {}
    void draw(const platform::testing::D3D9State&, const DrawCall&) override {}
    void present() override {}
    bool readFrontBuffer(uint8_t*, UINT, UINT&, UINT&) override { return false; }
};

RendererFactory factory = nullptr;

}  // namespace

std::unique_ptr<Renderer> createNullRenderer() { return std::make_unique<NullRenderer>(); }

void setRendererFactory(RendererFactory f) { factory = f; }

std::unique_ptr<Renderer> createRenderer() { return factory ? factory() : createWindowRenderer(); }

}  // namespace d3d9ref
