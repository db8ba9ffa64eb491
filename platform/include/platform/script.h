// Scripted platform events for playing the real program: the file named by the environment
// variable PLATFORM_SCRIPT holds timed events keyed by frame number. Each platform area takes the
// events of its own kinds through a Reader; the window layer advances the frame once per pass of
// the main loop's message pump (advanceFrame), so an event is due from the start of its frame.
//
// Line format (one event a line; blank lines and lines starting with '#' are ignored):
//   frame <n> key <DIK name> down|up          e.g. "frame 12 key DIK_SPACE down" (or a number 0x39)
//   frame <n> pad <i> axis <name> <value>     name x y z rx ry rz slider0 slider1, value -1.0..1.0
//   frame <n> pad <i> button <b> down|up      b 0..31
//   frame <n> pad <i> pov <k> <angle>|centre  angle in hundredths of a degree, k 0..3
//   frame <n> mouse move <dx> <dy> [<dz>]
//   frame <n> mouse button <b> down|up        b 0..7
//   frame <n> focus in|out
//   frame <n> close
// Pads 0..3 named in a script are attached as joysticks ahead of any real one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::script {

enum EventKind : uint32_t {
    EVENT_KEY = 1u << 0,
    EVENT_PAD_AXIS = 1u << 1,
    EVENT_PAD_BUTTON = 1u << 2,
    EVENT_PAD_POV = 1u << 3,
    EVENT_MOUSE_MOVE = 1u << 4,
    EVENT_MOUSE_BUTTON = 1u << 5,
    EVENT_FOCUS = 1u << 6,
    EVENT_CLOSE = 1u << 7,
};

enum PadAxis { AXIS_X, AXIS_Y, AXIS_Z, AXIS_RX, AXIS_RY, AXIS_RZ, AXIS_SLIDER0, AXIS_SLIDER1, AXIS_COUNT };

struct Event {
    uint32_t frame = 0;
    EventKind kind = EVENT_CLOSE;
    int device = 0;      // pad index
    int code = 0;        // key scan code, button number, axis (PadAxis) or POV number
    bool down = false;   // key and button events; focus in
    float value = 0.0f;  // axis value
    int32_t x = 0, y = 0, z = 0;  // mouse movement; x is the POV angle (-1 centred)
};

// Parses one line. Returns false for a line that holds no event: blank and comment lines leave
// the error empty, malformed ones describe the fault in it.
bool parseLine(const std::string& line, Event* event, std::string* error);

// A whole script, in frame order (events of one frame keep their file order).
class Script {
public:
    // Reads the file; malformed lines are skipped and listed in errors ("line <n>: <fault>").
    bool load(const std::string& path, std::vector<std::string>* errors);
    void clear() { m_events.clear(); }
    void add(const Event& event);
    const std::vector<Event>& events() const { return m_events; }

private:
    std::vector<Event> m_events;
};

// The process's script: loaded from PLATFORM_SCRIPT on first use (faults go to stderr).
Script& active();
// Replaces the process's script and restarts frame counting (tests).
void setActive(const Script& script);

uint32_t currentFrame();
void advanceFrame();

// Takes the due events of some kinds, each once, in order.
class Reader {
public:
    explicit Reader(uint32_t kinds) : m_kinds(kinds) {}
    bool next(Event* event);
    void rewind() { m_position = 0; m_generation = 0; }

private:
    uint32_t m_kinds;
    size_t m_position = 0;
    uint32_t m_generation = 0;
};

// Maps a key name ("DIK_SPACE", "SPACE") or number ("0x39", "57") to its scan code; -1 if unknown.
int keyCodeFromName(const std::string& name);

}  // namespace platform::script
