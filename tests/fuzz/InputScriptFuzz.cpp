// Plays any bytes as a platform event script through the input devices' verbs.
#include "FuzzSupport.h"

#include "platform/inputscript.h"
#include "platform/testing/input.h"

#include <cstring>
#include <sstream>
#include <string>

namespace {

BOOL countPads(LPCDIDEVICEINSTANCEA, LPVOID context)
{
    ++*static_cast<int*>(context);
    return DIENUM_CONTINUE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const fuzz::InputFile input("script.txt", data, size);
    platform::testing::input::reset();
    platform::testing::input::useScript("script.txt");

    IDirectInput7* di = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7,
                                reinterpret_cast<void**>(&di))) ||
        FAILED(di->Initialize(nullptr, DIRECTINPUT_VERSION)))
        abort();
    int pads = 0;
    di->EnumDevices(DIDEVTYPE_JOYSTICK, countPads, &pads, DIEDFL_ATTACHEDONLY);
    if (pads > 4) abort();
    IDirectInputDevice7* keyboard = nullptr;
    di->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7, reinterpret_cast<LPVOID*>(&keyboard), nullptr);
    DIPROPDWORD buffer = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 10};
    keyboard->SetDataFormat(&c_dfDIKeyboard);
    keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph);
    keyboard->Acquire();

    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string frame, verb;
        if (!(words >> frame >> verb)) continue;
        std::string arguments;
        std::getline(words, arguments);
        for (const platform::dinput::InputScriptVerb& v : platform::dinput::inputScriptVerbs)
            if (verb == v.verb) v.handler(arguments.c_str());
    }
    DIDEVICEOBJECTDATA events[10];
    DWORD count = 10;
    keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0);
    if (count > 10) abort();
    keyboard->Release();
    di->Release();
    return 0;
}
