// One player's controller turned into game actions. Each frame the game calls update with the
// player's pad state (or, for a keyboard player, with the keyboard flag after updateMousePointer);
// game code then asks whether an action was pressed this frame, is held or was double-clicked, and
// reads its analogue magnitude (0..500). AI drivers write actions directly.
//
// Actions are bits in two banks of 31: a mask with bit 31 set addresses bank 1 (its other bits
// select the actions), otherwise bank 0. Bank 1 has no double-click.
#pragma once

#include "input/InputDevices.h"

// The bindings, and when each source was last pressed (for double-clicks).
struct SInputBindings {
    enum {
        NUM_PAD_BUTTONS = 16,
        NUM_PAD_AXES = 8,
        NUM_MOUSE = 13,
        NUM_KEYS = 256
    };
    // Pad axis directions.
    enum { AXIS_X_NEG, AXIS_X_POS, AXIS_Y_NEG, AXIS_Y_POS, AXIS_RX_NEG, AXIS_RX_POS, AXIS_RY_NEG, AXIS_RY_POS };
    // Mouse sources: pointer directions, buttons 0..6, wheel.
    enum { MOUSE_Y_POS, MOUSE_Y_NEG, MOUSE_X_NEG, MOUSE_X_POS, MOUSE_BUTTON0, MOUSE_WHEEL_UP = MOUSE_BUTTON0 + 7, MOUSE_WHEEL_DOWN };

    DWORD padButtons[NUM_PAD_BUTTONS];
    DWORD padAxes[NUM_PAD_AXES];
    DWORD mouse[NUM_MOUSE];
    DWORD padButtonTimes[NUM_PAD_BUTTONS];
    DWORD padAxisTimes[NUM_PAD_AXES];
    DWORD mouseTimes[NUM_MOUSE];
    DWORD keyTimes[NUM_KEYS];
};

class CInputMap {
public:
    enum { MAX_BUTTONS_USED = 31 };
    static constexpr DWORD BANK1 = 0x80000000u;
    static constexpr DWORD DEFAULT_DOUBLE_CLICK_MS = 500;
    // The press time of a source not yet pressed.
    static constexpr DWORD NEVER_PRESSED = 0xFFFFFFFFu;

    // Centring offsets: X, Y, X-rotation, and one for Y-rotation, Z, Z-rotation and the sliders.
    enum { CENTRE_X, CENTRE_Y, CENTRE_RX, CENTRE_OTHER, NUM_CENTRES };

    CInputMap();

    void update(const SJoystickState& pad, DWORD now, bool keyboard);

    bool isPressed(DWORD mask) const;
    bool isHeld(DWORD mask) const;
    bool isDoubleClicked(DWORD mask) const;  // bank 0 only
    void getButtons(DWORD* pressed, DWORD* held) const;  // bank 0
    DWORD getHeldMask() const { return m_held0; }

    // The magnitude of a one-action mask; 0 for a mask that addresses no action.
    float getAnalogue(DWORD mask) const;
    // AI: the action gets the magnitude and is both pressed and held.
    void setAnalogue(float value, DWORD mask);
    void setPressedMask(DWORD mask);
    void setRawAxis(float value) { m_x = value; }  // -500..500
    void clear();

    // ORs the mask into the key's entry and gives the mask; a code of 256 or more is given back
    // unchanged and binds nothing.
    void bindKey(DWORD* result, DWORD scanCode, DWORD mask);
    // The highest set bit; 0 for 0 and 1.
    static int getBitPos(DWORD mask);
    // Removes the dead zone of 130 from a -500..500 axis recentred by the offset and stretches
    // the rest back to 500.
    static float shapeAxis(float value, float centre);

    SInputBindings* getBindings() { return &m_bindings; }
    DWORD getKeyEntry(DWORD scanCode) const { return scanCode < 256 ? m_keys[scanCode] : 0; }
    void setDoubleClickWindow(DWORD milliseconds) { m_doubleClickWindow = milliseconds; }
    void setCentringOffset(int which, float offset);

    float getMouseX() const { return m_mouseX; }
    float getMouseY() const { return m_mouseY; }
    float getX() const { return m_x; }
    float getY() const { return m_y; }
    float getZ() const { return m_z; }
    float getZRotation() const { return m_zRot; }
    float getXRotation() const { return m_xRot; }
    float getYRotation() const { return m_yRot; }
    float getLastXRotation() const { return m_lastXRot; }
    float getLastYRotation() const { return m_lastYRot; }
    float getSlider(int i) const { return i == 0 ? m_slider0 : m_slider1; }
    BYTE getRawButton6() const { return m_rawButton6; }
    BYTE getRawButton7() const { return m_rawButton7; }

private:
    void raise(DWORD mask, float magnitude, DWORD now, DWORD* lastPress);
    void mapPad(const SJoystickState& pad, DWORD now);
    void mapKeyboardAndMouse(DWORD now);

    float m_mouseX, m_mouseY;
    DWORD m_lastCombined0, m_pressed0, m_held0, m_doubleClicked0;
    DWORD m_lastCombined1, m_pressed1, m_held1;
    float m_slider0, m_slider1, m_z, m_zRot;
    float m_x, m_y;
    float m_xRot, m_yRot;
    float m_lastXRot, m_lastYRot;
    float m_centre[NUM_CENTRES];
    BYTE m_rawButton6, m_rawButton7;
    DWORD m_doubleClickWindow;
    float m_analogue0[MAX_BUTTONS_USED];
    float m_analogue1[MAX_BUTTONS_USED];
    DWORD m_keys[SInputBindings::NUM_KEYS];
    SInputBindings m_bindings;
};

// The shared mouse pointer of keyboard players, relative to the screen centre.
struct SMousePointer {
    float x, y;
    bool buttons[7];
    bool wheelUp, wheelDown;
};
const SMousePointer& getMousePointer();
void resetMousePointer();
// Once per frame before a keyboard player's map is updated; sensitivity 0..10.
void updateMousePointer(int sensitivity);
// The render target's size, which bounds the pointer; the game points these at
// L3GetScreenWidth / L3GetScreenHeight (until then 640 x 480).
void setInputMapScreenSize(int (*width)(), int (*height)());
