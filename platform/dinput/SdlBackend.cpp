// The live backend: SDL2 keyboard and mouse events (watched as they arrive, whoever polls the
// queue) and SDL2 joysticks; pads that SDL2's mapping database knows are read as game
// controllers so that their sticks, triggers and buttons land on the usual DirectInput objects.
#include "Devices.h"

#include "platform/inputscript.h"
#include "platform/script.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace platform::dinput {

namespace {

int scanCodeFromSdl(SDL_Scancode code)
{
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z) {
        static const BYTE letters[26] = {DIK_A, DIK_B, DIK_C, DIK_D, DIK_E, DIK_F, DIK_G, DIK_H, DIK_I,
                                         DIK_J, DIK_K, DIK_L, DIK_M, DIK_N, DIK_O, DIK_P, DIK_Q, DIK_R,
                                         DIK_S, DIK_T, DIK_U, DIK_V, DIK_W, DIK_X, DIK_Y, DIK_Z};
        return letters[code - SDL_SCANCODE_A];
    }
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_0) return DIK_1 + (code - SDL_SCANCODE_1);
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F10) return DIK_F1 + (code - SDL_SCANCODE_F1);
    switch (code) {
    case SDL_SCANCODE_RETURN: return DIK_RETURN;
    case SDL_SCANCODE_ESCAPE: return DIK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE: return DIK_BACK;
    case SDL_SCANCODE_TAB: return DIK_TAB;
    case SDL_SCANCODE_SPACE: return DIK_SPACE;
    case SDL_SCANCODE_MINUS: return DIK_MINUS;
    case SDL_SCANCODE_EQUALS: return DIK_EQUALS;
    case SDL_SCANCODE_LEFTBRACKET: return DIK_LBRACKET;
    case SDL_SCANCODE_RIGHTBRACKET: return DIK_RBRACKET;
    case SDL_SCANCODE_BACKSLASH: return DIK_BACKSLASH;
    case SDL_SCANCODE_NONUSHASH: return DIK_BACKSLASH;
    case SDL_SCANCODE_SEMICOLON: return DIK_SEMICOLON;
    case SDL_SCANCODE_APOSTROPHE: return DIK_APOSTROPHE;
    case SDL_SCANCODE_GRAVE: return DIK_GRAVE;
    case SDL_SCANCODE_COMMA: return DIK_COMMA;
    case SDL_SCANCODE_PERIOD: return DIK_PERIOD;
    case SDL_SCANCODE_SLASH: return DIK_SLASH;
    case SDL_SCANCODE_CAPSLOCK: return DIK_CAPITAL;
    case SDL_SCANCODE_F11: return DIK_F11;
    case SDL_SCANCODE_F12: return DIK_F12;
    case SDL_SCANCODE_F13: return DIK_F13;
    case SDL_SCANCODE_F14: return DIK_F14;
    case SDL_SCANCODE_F15: return DIK_F15;
    case SDL_SCANCODE_PRINTSCREEN: return DIK_SYSRQ;
    case SDL_SCANCODE_SCROLLLOCK: return DIK_SCROLL;
    case SDL_SCANCODE_PAUSE: return DIK_PAUSE;
    case SDL_SCANCODE_INSERT: return DIK_INSERT;
    case SDL_SCANCODE_HOME: return DIK_HOME;
    case SDL_SCANCODE_PAGEUP: return DIK_PRIOR;
    case SDL_SCANCODE_DELETE: return DIK_DELETE;
    case SDL_SCANCODE_END: return DIK_END;
    case SDL_SCANCODE_PAGEDOWN: return DIK_NEXT;
    case SDL_SCANCODE_RIGHT: return DIK_RIGHT;
    case SDL_SCANCODE_LEFT: return DIK_LEFT;
    case SDL_SCANCODE_DOWN: return DIK_DOWN;
    case SDL_SCANCODE_UP: return DIK_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR: return DIK_NUMLOCK;
    case SDL_SCANCODE_KP_DIVIDE: return DIK_DIVIDE;
    case SDL_SCANCODE_KP_MULTIPLY: return DIK_MULTIPLY;
    case SDL_SCANCODE_KP_MINUS: return DIK_SUBTRACT;
    case SDL_SCANCODE_KP_PLUS: return DIK_ADD;
    case SDL_SCANCODE_KP_ENTER: return DIK_NUMPADENTER;
    case SDL_SCANCODE_KP_1: return DIK_NUMPAD1;
    case SDL_SCANCODE_KP_2: return DIK_NUMPAD2;
    case SDL_SCANCODE_KP_3: return DIK_NUMPAD3;
    case SDL_SCANCODE_KP_4: return DIK_NUMPAD4;
    case SDL_SCANCODE_KP_5: return DIK_NUMPAD5;
    case SDL_SCANCODE_KP_6: return DIK_NUMPAD6;
    case SDL_SCANCODE_KP_7: return DIK_NUMPAD7;
    case SDL_SCANCODE_KP_8: return DIK_NUMPAD8;
    case SDL_SCANCODE_KP_9: return DIK_NUMPAD9;
    case SDL_SCANCODE_KP_0: return DIK_NUMPAD0;
    case SDL_SCANCODE_KP_PERIOD: return DIK_DECIMAL;
    case SDL_SCANCODE_KP_EQUALS: return DIK_NUMPADEQUALS;
    case SDL_SCANCODE_KP_COMMA: return DIK_NUMPADCOMMA;
    case SDL_SCANCODE_NONUSBACKSLASH: return DIK_OEM_102;
    case SDL_SCANCODE_APPLICATION: return DIK_APPS;
    case SDL_SCANCODE_LCTRL: return DIK_LCONTROL;
    case SDL_SCANCODE_LSHIFT: return DIK_LSHIFT;
    case SDL_SCANCODE_LALT: return DIK_LMENU;
    case SDL_SCANCODE_LGUI: return DIK_LWIN;
    case SDL_SCANCODE_RCTRL: return DIK_RCONTROL;
    case SDL_SCANCODE_RSHIFT: return DIK_RSHIFT;
    case SDL_SCANCODE_RALT: return DIK_RMENU;
    case SDL_SCANCODE_RGUI: return DIK_RWIN;
    default: return 0;
    }
}

int mouseButtonFromSdl(Uint8 button)
{
    switch (button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    case SDL_BUTTON_X2: return 4;
    default: return button <= 8 ? button - 1 : -1;
    }
}

DWORD hatAngle(Uint8 hat)
{
    switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return 0xFFFFFFFFu;
    }
}

float stick(Sint16 value) { return std::clamp(value / 32767.0f, -1.0f, 1.0f); }

int SDLCALL watchEvents(void*, SDL_Event* event)
{
    switch (event->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        if (!event->key.repeat) {
            int code = scanCodeFromSdl(event->key.keysym.scancode);
            if (code) feedKey(code, event->type == SDL_KEYDOWN);
        }
        break;
    case SDL_MOUSEMOTION:
        feedMouseMove(event->motion.xrel, event->motion.yrel, 0);
        break;
    case SDL_MOUSEWHEEL: {
        LONG steps = event->wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event->wheel.y : event->wheel.y;
        feedMouseMove(0, 0, steps * 120);
        break;
    }
    case SDL_WINDOWEVENT:
        if (event->window.event == SDL_WINDOWEVENT_FOCUS_LOST) feedForeground(false);
        else if (event->window.event == SDL_WINDOWEVENT_FOCUS_GAINED) feedForeground(true);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        feedMouseButton(mouseButtonFromSdl(event->button.button), event->type == SDL_MOUSEBUTTONDOWN);
        break;
    default:
        break;
    }
    return 1;
}

void closePad(Pad& p)
{
    if (!p.liveHandle) return;
    if (p.liveController) SDL_GameControllerClose(static_cast<SDL_GameController*>(p.liveHandle));
    else SDL_JoystickClose(static_cast<SDL_Joystick*>(p.liveHandle));
    p.liveHandle = nullptr;
}

SDL_Joystick* joystickOf(const Pad& p)
{
    if (!p.liveHandle) return nullptr;
    return p.liveController ? SDL_GameControllerGetJoystick(static_cast<SDL_GameController*>(p.liveHandle))
                            : static_cast<SDL_Joystick*>(p.liveHandle);
}

void readPad(Pad& p)
{
    if (p.liveController) {
        SDL_GameController* pad = static_cast<SDL_GameController*>(p.liveHandle);
        static const SDL_GameControllerAxis axes[6] = {
            SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_LEFTY, SDL_CONTROLLER_AXIS_TRIGGERLEFT,
            SDL_CONTROLLER_AXIS_RIGHTX, SDL_CONTROLLER_AXIS_RIGHTY, SDL_CONTROLLER_AXIS_TRIGGERRIGHT};
        for (int a = 0; a < 6; ++a) p.axisValue[a] = stick(SDL_GameControllerGetAxis(pad, axes[a]));
        static const SDL_GameControllerButton buttons[11] = {
            SDL_CONTROLLER_BUTTON_A, SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_X,
            SDL_CONTROLLER_BUTTON_Y, SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
            SDL_CONTROLLER_BUTTON_BACK, SDL_CONTROLLER_BUTTON_START, SDL_CONTROLLER_BUTTON_LEFTSTICK,
            SDL_CONTROLLER_BUTTON_RIGHTSTICK, SDL_CONTROLLER_BUTTON_GUIDE};
        for (int b = 0; b < 11; ++b) p.button[b] = SDL_GameControllerGetButton(pad, buttons[b]) ? 0x80 : 0;
        Uint8 hat = SDL_HAT_CENTERED;
        if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_UP)) hat |= SDL_HAT_UP;
        if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) hat |= SDL_HAT_DOWN;
        if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) hat |= SDL_HAT_LEFT;
        if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) hat |= SDL_HAT_RIGHT;
        p.pov[0] = hatAngle(hat);
        return;
    }
    SDL_Joystick* joy = static_cast<SDL_Joystick*>(p.liveHandle);
    for (int a = 0; a < 8; ++a)
        if (p.axes[a]) p.axisValue[a] = stick(SDL_JoystickGetAxis(joy, a));
    for (int k = 0; k < p.povs; ++k) p.pov[k] = hatAngle(SDL_JoystickGetHat(joy, k));
    for (int b = 0; b < p.buttons; ++b) p.button[b] = SDL_JoystickGetButton(joy, b) ? 0x80 : 0;
}

bool openPad(int index, Pad* p)
{
    p->liveId = SDL_JoystickGetDeviceInstanceID(index);
    if (SDL_IsGameController(index)) {
        SDL_GameController* pad = SDL_GameControllerOpen(index);
        if (!pad) return false;
        p->liveHandle = pad;
        p->liveController = true;
        for (int a = 0; a < 6; ++a) p->axes[a] = true;
        p->povs = 1;
        p->buttons = 11;
    } else {
        SDL_Joystick* joy = SDL_JoystickOpen(index);
        if (!joy) return false;
        p->liveHandle = joy;
        int axes = std::clamp(SDL_JoystickNumAxes(joy), 0, 8);
        for (int a = 0; a < axes; ++a) p->axes[a] = true;
        p->povs = std::clamp(SDL_JoystickNumHats(joy), 0, 4);
        p->buttons = std::clamp(SDL_JoystickNumButtons(joy), 0, 32);
    }
    const char* name = SDL_JoystickNameForIndex(index);
    std::snprintf(p->instanceName, MAX_PATH, "%s", name ? name : "Joystick");
    std::snprintf(p->productName, MAX_PATH, "%s", name ? name : "Joystick");
    SDL_JoystickGUID product = SDL_JoystickGetDeviceGUID(index);
    static_assert(sizeof(product) == sizeof(GUID));
    std::memcpy(&p->product, &product, sizeof(GUID));
    p->instance = {0x7a3e1f20u, 0x5d2c, 0x4b1e, {0x9a, 0x41, 0x00, 0x73, 0x64, 0x6c, 0, 0}};
    p->instance.Data4[6] = static_cast<uint8_t>(p->liveId >> 8);
    p->instance.Data4[7] = static_cast<uint8_t>(p->liveId);
    readPad(*p);
    return true;
}

}  // namespace

void liveStart()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    if (w.liveStarted) return;
    w.liveStarted = true;
    if (SDL_InitSubSystem(SDL_INIT_EVENTS | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0)
        std::fprintf(stderr, "input: SDL joystick start failed: %s\n", SDL_GetError());
    SDL_AddEventWatch(watchEvents, nullptr);
    // The window layer plays PLATFORM_SCRIPT; key, pad and mouse lines are ours.
    for (const platform::dinput::InputScriptVerb& verb : platform::dinput::inputScriptVerbs)
        platform::registerScriptVerb(verb.verb, verb.handler);
}

void livePump()
{
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return;
    SDL_PumpEvents();
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    for (Pad& p : w.pads) {
        if (!p.liveHandle) continue;
        SDL_Joystick* joy = joystickOf(p);
        if (!joy || !SDL_JoystickGetAttached(joy)) {
            // Unplugged: the record goes, so its devices report lost input.
            closePad(p);
            p.instance = GUID{};
            continue;
        }
        readPad(p);
    }
}

void liveEnumerate()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return;
    SDL_JoystickUpdate();
    w.pads.erase(std::remove_if(w.pads.begin(), w.pads.end(),
                                [](const Pad& p) { return !p.scripted && !p.liveHandle; }),
                 w.pads.end());
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
        bool known = std::any_of(w.pads.begin(), w.pads.end(), [&](const Pad& p) { return p.liveId == id; });
        if (known) continue;
        Pad p;
        if (openPad(i, &p)) w.pads.push_back(p);
    }
}

void liveRumble(Pad& p)
{
    SDL_Joystick* joy = joystickOf(p);
    if (!joy) return;
    // Renewed every frame by the game; the duration only bounds a stall.
    SDL_JoystickRumble(joy, static_cast<Uint16>(p.rumbleLeft * 65535.0f), static_cast<Uint16>(p.rumbleRight * 65535.0f),
                       250);
}

void liveMouseCapture(bool capture)
{
    World& w = world();
    if (!w.live || !SDL_WasInit(SDL_INIT_VIDEO)) return;
    SDL_SetRelativeMouseMode(capture ? SDL_TRUE : SDL_FALSE);
}

}  // namespace platform::dinput
