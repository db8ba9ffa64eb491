#include "kestrune/InputMap.h"

#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const float AXIS_RANGE = 500.0f;
const float AXIS_DEAD_ZONE = 130.0f;
const float AXIS_STRETCH = 1.3513514f;  // 500 / 370
const float BUTTON_SCALE = 3.90625f;    // a half-pressed byte (128) gives the full 500
const float FULL_MAGNITUDE = 500.0f;
const uint32_t DEBUG_ALL = 0xFFFFFFFFu;

// Pointer speed per sensitivity setting.
const float MOUSE_FACTORS[11] = {0.25f, 0.4f, 0.55f, 0.7f, 0.85f, 1.0f, 1.6f, 2.2f, 2.8f, 3.4f, 4.0f};

// Fixed pad mappings into bank 1.
const int SLIDER0_POS = 4, SLIDER0_NEG = 6, SLIDER1_POS = 7, SLIDER1_NEG = 5;
const int Z_NEG = 0, Z_POS = 2, ZROT_NEG = 1, ZROT_POS = 3;
const int POV_UP = 10, POV_SIDE = 9, POV_DOWN = 11;  // + 4 per hat

DWORD bank1(int bit) { return CInputMap::BANK1 | (1u << bit); }

SMousePointer mousePointer = {};

int defaultScreenWidth() { return 640; }
int defaultScreenHeight() { return 480; }
int (*screenWidth)() = defaultScreenWidth;
int (*screenHeight)() = defaultScreenHeight;

}  // namespace

CInputMap::CInputMap()
{
    clear();
    m_mouseX = m_mouseY = 0.0f;
    for (float& c : m_centre) c = 0.0f;
    m_rawButton6 = m_rawButton7 = 0;
    m_doubleClickWindow = DEFAULT_DOUBLE_CLICK_MS;
    std::memset(m_keys, 0, sizeof(m_keys));
    std::memset(&m_bindings, 0, sizeof(m_bindings));

    // No source has been pressed yet: the first press is never a double-click.
    std::fill(std::begin(m_bindings.padButtonTimes), std::end(m_bindings.padButtonTimes), NEVER_PRESSED);
    std::fill(std::begin(m_bindings.padAxisTimes), std::end(m_bindings.padAxisTimes), NEVER_PRESSED);
    std::fill(std::begin(m_bindings.mouseTimes), std::end(m_bindings.mouseTimes), NEVER_PRESSED);
    std::fill(std::begin(m_bindings.keyTimes), std::end(m_bindings.keyTimes), NEVER_PRESSED);
    for (int n = 0; n < 15; ++n) m_bindings.padButtons[n] = 1u << n;
    m_bindings.padButtons[15] = 0x800000;
    const DWORD axes[SInputBindings::NUM_PAD_AXES] = {0x8000,  0x10000,  0x20000,  0x40000,
                                                      0x80000, 0x100000, 0x200000, 0x400000};
    std::memcpy(m_bindings.padAxes, axes, sizeof(axes));
    const DWORD mouse[SInputBindings::NUM_MOUSE] = {
        0x8000000,  0x10000000, 0x2000000,  0x4000000,  0x20000000, 0x40000000, 0x1000000,
        0x88000000, 0x90000000, 0xA0000000, 0xC0000000, 0x82000000, 0x84000000};
    std::memcpy(m_bindings.mouse, mouse, sizeof(mouse));
}

void CInputMap::clear()
{
    m_lastCombined0 = m_pressed0 = m_held0 = m_doubleClicked0 = 0;
    m_lastCombined1 = m_pressed1 = m_held1 = 0;
    m_slider0 = m_slider1 = m_z = m_zRot = 0.0f;
    m_x = m_y = m_xRot = m_yRot = m_lastXRot = m_lastYRot = 0.0f;
    std::memset(m_analogue0, 0, sizeof(m_analogue0));
    std::memset(m_analogue1, 0, sizeof(m_analogue1));
}

void CInputMap::setCentringOffset(int which, float offset)
{
    if (which >= 0 && which < NUM_CENTRES) m_centre[which] = offset;
}

int CInputMap::getBitPos(DWORD mask)
{
    int bitPos = 0;
    for (int b = 31; b > 0; --b) {
        if (mask & (1u << b)) {
            bitPos = b;
            break;
        }
    }
    if (!(bitPos < MAX_BUTTONS_USED)) assertFailed("BitPos < MAX_BUTTONS_USED", __FILE__, __LINE__);
    return bitPos;
}

float CInputMap::shapeAxis(float value, float centre)
{
    float s = value + centre;
    if (value > -centre) {
        float t = AXIS_RANGE / (centre + AXIS_RANGE) * s;
        if (t <= AXIS_DEAD_ZONE) return 0.0f;
        return std::min((t - AXIS_DEAD_ZONE) * AXIS_STRETCH, AXIS_RANGE);
    }
    if (value < -centre) {
        float t = AXIS_RANGE / (AXIS_RANGE - centre) * s;
        if (t >= -AXIS_DEAD_ZONE) return 0.0f;
        return std::max((t + AXIS_DEAD_ZONE) * AXIS_STRETCH, -AXIS_RANGE);
    }
    return 0.0f;
}

void CInputMap::raise(DWORD mask, float magnitude, DWORD now, DWORD* lastPress)
{
    if (mask & BANK1) {
        DWORD bits = mask & ~BANK1;
        if (!bits) return;  // an unbound source
        m_analogue1[getBitPos(bits)] = std::fabs(magnitude);
        if (m_lastCombined1 & bits) m_held1 |= bits;
        else m_pressed1 |= bits;
        return;
    }
    if (!mask) return;
    m_analogue0[getBitPos(mask)] = std::fabs(magnitude);
    if (m_lastCombined0 & mask) {
        m_held0 |= mask;
        return;
    }
    m_pressed0 |= mask;
    if (lastPress) {
        if (*lastPress != NEVER_PRESSED && static_cast<DWORD>(now - *lastPress) < m_doubleClickWindow)
            m_doubleClicked0 |= mask;
        *lastPress = now;
    }
}

void CInputMap::update(const SJoystickState& pad, DWORD now, bool keyboard)
{
    m_pressed0 = m_held0 = m_doubleClicked0 = 0;
    m_pressed1 = m_held1 = 0;
    std::memset(m_analogue0, 0, sizeof(m_analogue0));
    std::memset(m_analogue1, 0, sizeof(m_analogue1));
    m_lastXRot = m_xRot;
    m_lastYRot = m_yRot;
    m_rawButton6 = pad.rgbButtons[6];
    m_rawButton7 = pad.rgbButtons[7];
    if (keyboard) mapKeyboardAndMouse(now);
    else mapPad(pad, now);
    m_lastCombined0 = m_pressed0 | m_held0;
    m_lastCombined1 = m_pressed1 | m_held1;
}

void CInputMap::mapPad(const SJoystickState& pad, DWORD now)
{
    const float other = m_centre[CENTRE_OTHER];
    m_xRot = shapeAxis(static_cast<float>(pad.lRx), m_centre[CENTRE_RX]);
    m_yRot = shapeAxis(static_cast<float>(pad.lRy), other);
    m_x = shapeAxis(static_cast<float>(pad.lX), m_centre[CENTRE_X]);
    m_y = shapeAxis(static_cast<float>(pad.lY), m_centre[CENTRE_Y]);
    m_z = shapeAxis(static_cast<float>(pad.lZ), other);
    m_zRot = shapeAxis(static_cast<float>(pad.lRz), other);
    m_slider0 = shapeAxis(static_cast<float>(pad.rglSlider[0]), other);
    m_slider1 = shapeAxis(static_cast<float>(pad.rglSlider[1]), other);

    // Centred hats read negative; only the four main directions count.
    for (int k = 0; k < 4; ++k) {
        LONG angle = pad.rglPOV[k];
        if (angle < 0) continue;
        int bit = -1;
        if (angle == 0) bit = POV_UP;
        else if (angle == 9000 || angle == 27000) bit = POV_SIDE;
        else if (angle == 18000) bit = POV_DOWN;
        if (bit >= 0) raise(bank1(bit + 4 * k), static_cast<float>(angle), now, nullptr);
    }

    struct Fixed {
        float value;
        int positive, negative;
    };
    const Fixed fixed[4] = {{m_slider0, SLIDER0_POS, SLIDER0_NEG},
                            {m_slider1, SLIDER1_POS, SLIDER1_NEG},
                            {m_z, Z_POS, Z_NEG},
                            {m_zRot, ZROT_POS, ZROT_NEG}};
    for (const Fixed& f : fixed) {
        if (f.value > 0.0f) raise(bank1(f.positive), f.value, now, nullptr);
        else if (f.value < 0.0f) raise(bank1(f.negative), f.value, now, nullptr);
    }

    struct Bound {
        float value;
        int negative;  // its positive direction follows
    };
    const Bound bound[4] = {{m_xRot, SInputBindings::AXIS_RX_NEG},
                            {m_yRot, SInputBindings::AXIS_RY_NEG},
                            {m_x, SInputBindings::AXIS_X_NEG},
                            {m_y, SInputBindings::AXIS_Y_NEG}};
    for (const Bound& b : bound) {
        int direction = b.value > 0.0f ? b.negative + 1 : b.value < 0.0f ? b.negative : -1;
        if (direction >= 0)
            raise(m_bindings.padAxes[direction], b.value, now, &m_bindings.padAxisTimes[direction]);
    }

    for (int n = 0; n < SInputBindings::NUM_PAD_BUTTONS; ++n)
        if (pad.rgbButtons[n])
            raise(m_bindings.padButtons[n], pad.rgbButtons[n] * BUTTON_SCALE, now, &m_bindings.padButtonTimes[n]);
}

void CInputMap::mapKeyboardAndMouse(DWORD now)
{
    m_mouseX = mousePointer.x;
    m_mouseY = mousePointer.y;
    debugPrintf(DEBUG_ALL, "input mouse x =%f, \t\t\tinput mouse y =%f\n", m_mouseX, m_mouseY);

    DWORD* bindings = m_bindings.mouse;
    DWORD* times = m_bindings.mouseTimes;
    auto raiseMouse = [&](int source, float magnitude) { raise(bindings[source], magnitude, now, &times[source]); };
    if (m_mouseX > 0.0f) raiseMouse(SInputBindings::MOUSE_X_POS, m_mouseX);
    else if (m_mouseX < 0.0f) raiseMouse(SInputBindings::MOUSE_X_NEG, m_mouseX);
    if (m_mouseY > 0.0f) raiseMouse(SInputBindings::MOUSE_Y_POS, m_mouseY);
    else if (m_mouseY < 0.0f) raiseMouse(SInputBindings::MOUSE_Y_NEG, m_mouseY);
    for (int b = 0; b < 7; ++b)
        if (mousePointer.buttons[b]) raiseMouse(SInputBindings::MOUSE_BUTTON0 + b, FULL_MAGNITUDE);
    if (mousePointer.wheelUp) raiseMouse(SInputBindings::MOUSE_WHEEL_UP, FULL_MAGNITUDE);
    if (mousePointer.wheelDown) raiseMouse(SInputBindings::MOUSE_WHEEL_DOWN, FULL_MAGNITUDE);

    for (DWORD key = 255; key >= 1; --key) {
        DWORD entry = m_keys[key];
        if (!entry || !isKeyDown(key, false)) continue;
        // Every action of the key measures its double-click from the key's previous press, not
        // from the press of its other actions a moment ago.
        const DWORD previous = m_bindings.keyTimes[key];
        for (int b = 0; b < 32; ++b) {
            if (!(entry & (1u << b))) continue;
            DWORD lastPress = previous;
            raise(1u << b, FULL_MAGNITUDE, now, &lastPress);
            if (lastPress != previous) m_bindings.keyTimes[key] = lastPress;
        }
    }
}

bool CInputMap::isPressed(DWORD mask) const
{
    if (mask & BANK1) return (m_pressed1 & mask & ~BANK1) != 0;
    return (m_pressed0 & mask) != 0;
}

bool CInputMap::isHeld(DWORD mask) const
{
    if (mask & BANK1) return (m_held1 & mask & ~BANK1) != 0;
    return (m_held0 & mask) != 0;
}

bool CInputMap::isDoubleClicked(DWORD mask) const
{
    if (mask & BANK1) return false;
    return (m_doubleClicked0 & mask) != 0;
}

void CInputMap::getButtons(DWORD* pressed, DWORD* held) const
{
    if (pressed) *pressed = m_pressed0;
    if (held) *held = m_held0;
}

float CInputMap::getAnalogue(DWORD mask) const
{
    // Bit 31 only chooses the bank: it is no action of its own.
    int bitPos = getBitPos(mask & ~BANK1);
    if (bitPos >= MAX_BUTTONS_USED) return 0.0f;
    return (mask & BANK1) ? m_analogue1[bitPos] : m_analogue0[bitPos];
}

void CInputMap::setAnalogue(float value, DWORD mask)
{
    int bitPos = getBitPos(mask & ~BANK1);
    if (bitPos >= MAX_BUTTONS_USED) return;
    if (mask & BANK1) {
        m_analogue1[bitPos] = value;
        m_pressed1 |= mask & ~BANK1;
        m_held1 |= mask & ~BANK1;
    } else {
        m_analogue0[bitPos] = value;
        m_pressed0 |= mask;
        m_held0 |= mask;
    }
}

void CInputMap::setPressedMask(DWORD mask)
{
    if (mask & BANK1) m_pressed1 |= mask & ~BANK1;
    else m_pressed0 |= mask;
}

void CInputMap::bindKey(DWORD* result, DWORD scanCode, DWORD mask)
{
    if (scanCode >= SInputBindings::NUM_KEYS) {
        *result = scanCode;
        return;
    }
    m_keys[scanCode] |= mask;
    *result = mask;
}

const SMousePointer& getMousePointer() { return mousePointer; }

void resetMousePointer()
{
    mousePointer.x = mousePointer.y = 0.0f;
    readMouse();
}

void updateMousePointer(int sensitivity)
{
    readMouse();
    // The setting comes from persisted options: keep it inside the table.
    sensitivity = std::clamp(sensitivity, 0, 10);
    const DIMOUSESTATE2& mouse = getMouseState();
    const float scale = getMouseScale() * MOUSE_FACTORS[sensitivity];
    const float halfWidth = static_cast<float>(screenWidth() / 2);
    const float halfHeight = static_cast<float>(screenHeight() / 2);
    mousePointer.x = std::clamp(mousePointer.x + mouse.lX * scale, -halfWidth, halfWidth);
    mousePointer.y = std::clamp(mousePointer.y + mouse.lY * scale, -halfHeight, halfHeight);
    for (int b = 0; b < 7; ++b) mousePointer.buttons[b] = (mouse.rgbButtons[b] & 0x80) != 0;
    const float wheel = mouse.lZ * scale;
    mousePointer.wheelUp = wheel > 0.0f;
    mousePointer.wheelDown = wheel < 0.0f;
    isKeyDown(0, true);
}

void setInputMapScreenSize(int (*width)(), int (*height)())
{
    screenWidth = width ? width : defaultScreenWidth;
    screenHeight = height ? height : defaultScreenHeight;
}
