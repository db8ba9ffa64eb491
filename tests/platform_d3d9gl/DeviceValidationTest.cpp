// ValidateDevice answers from the states set, the card's caps and what the renderer can draw.
#include "HeadlessDevice.h"

#include <algorithm>

namespace pt = platform::testing;

namespace {

class DeviceValidationTest : public HeadlessDevice, public ::testing::WithParamInterface<bool> {
protected:
    void configure() override
    {
        D3DCAPS9& caps = pt::d3d9Config().Adapters[0].DeviceTypes[0].Caps;
        caps.MaxTextureBlendStages = 3;
        caps.MaxSimultaneousTextures = 2;
        caps.TextureOpCaps &= ~D3DTEXOPCAPS_DOTPRODUCT3;
        auto& formats = pt::d3d9Config().Adapters[0].TextureFormats;
        formats.erase(std::remove(formats.begin(), formats.end(), D3DFMT_R3G3B2), formats.end());
        d3d9ref::setRendererFactory(GetParam() ? &d3d9gl::createOffscreenDeviceRenderer : &d3d9ref::createNullRenderer);
    }
    void TearDown() override
    {
        for (IDirect3DBaseTexture9* t : m_textures) t->Release();
        HeadlessDevice::TearDown();
    }

    HRESULT validate()
    {
        DWORD passes = 0;
        HRESULT result = m_device->ValidateDevice(&passes);
        EXPECT_EQ(passes, 1u);
        return result;
    }

    IDirect3DBaseTexture9* texture(D3DFORMAT format, bool cube = false)
    {
        IDirect3DCubeTexture9* c = nullptr;
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(cube ? m_device->CreateCubeTexture(4, 1, 0, format, D3DPOOL_MANAGED, &c, nullptr)
                       : m_device->CreateTexture(4, 4, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr),
                  D3D_OK);
        m_textures.push_back(cube ? static_cast<IDirect3DBaseTexture9*>(c) : t);
        return m_textures.back();
    }

    void stages(DWORD count)
    {
        for (DWORD s = 0; s < 8; ++s)
            m_device->SetTextureStageState(s, D3DTSS_COLOROP, s < count ? D3DTOP_MODULATE : D3DTOP_DISABLE);
    }

    std::vector<IDirect3DBaseTexture9*> m_textures;
};

TEST_P(DeviceValidationTest, StagesOperationsAndTexturesAreChecked)
{
    const bool gl = GetParam();
    EXPECT_EQ(validate(), D3D_OK);
    stages(4);
    EXPECT_EQ(validate(), D3DERR_TOOMANYOPERATIONS);
    stages(1);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, 24);  // dot product: not in the caps
    EXPECT_EQ(validate(), D3DERR_UNSUPPORTEDCOLOROPERATION);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAOP, 99);
    EXPECT_EQ(validate(), D3DERR_UNSUPPORTEDALPHAOPERATION);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    // Bump mapping is in the caps, and both renderers draw it.
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, 22);
    EXPECT_EQ(validate(), D3D_OK);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);

    stages(3);
    m_device->SetTexture(0, texture(D3DFMT_A8R8G8B8));
    m_device->SetTexture(1, texture(D3DFMT_R5G6B5));
    EXPECT_EQ(validate(), D3D_OK);
    m_device->SetTexture(2, texture(D3DFMT_A8R8G8B8));
    EXPECT_EQ(validate(), D3DERR_TOOMANYOPERATIONS);
    m_device->SetTexture(2, nullptr);
    m_device->SetTexture(1, texture(D3DFMT_R3G3B2));  // not a format the card offers
    EXPECT_EQ(validate(), D3DERR_WRONGTEXTUREFORMAT);
    m_device->SetTexture(1, texture(D3DFMT_A8R8G8B8, true));
    EXPECT_EQ(validate(), gl ? D3DERR_WRONGTEXTUREFORMAT : D3D_OK);
    m_device->SetTexture(1, nullptr);

    // Tests can still decide the answer.
    pt::setValidateResult([](DWORD* passes) { return *passes = 1, D3DERR_UNSUPPORTEDTEXTUREFILTER; });
    EXPECT_EQ(validate(), D3DERR_UNSUPPORTEDTEXTUREFILTER);
}

INSTANTIATE_TEST_SUITE_P(Renderers, DeviceValidationTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "OpenGL" : "Null"; });

}  // namespace
