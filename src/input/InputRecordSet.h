// The table of attached joysticks found by enumeration: for each (at most four) its instance and
// product names, its instance GUID and a capability mask with one bit per object it offers.
#pragma once

#include "platform/win32/types.h"

// A byte-array flag set: bit n lives in byte n / 8 at bit n % 8.
struct SFlagSet {
    BYTE bytes[4];
    DWORD size;  // in bytes
};

struct SJoystickRecord {
    char instanceName[MAX_PATH];
    char productName[MAX_PATH];
    GUID instance;
};

class CInputRecordSet {
public:
    // Capability bits, by the object's offset in DIJOYSTATE.
    enum {
        CAPS_X = 1,
        CAPS_Y = 2,
        CAPS_Z = 3,
        CAPS_RX = 4,
        CAPS_RY = 5,
        CAPS_RZ = 6,
        CAPS_SLIDER0 = 7,
        CAPS_SLIDER1 = 8,
        CAPS_POV0 = 9,       // to 12
        CAPS_BUTTON0 = 13,   // to 28
        MAX_CAPS_BUTTONS = 16
    };
    static const int MAX_RECORDS = 4;

    CInputRecordSet();
    ~CInputRecordSet();

    void clear();
    // Records a joystick; false when the table is full.
    bool add(const GUID& instance, const char* instanceName, const char* productName);
    // Sets the capability bit of the object at that DIJOYSTATE offset (others are ignored).
    void addObject(int record, DWORD offset);

    int count() const { return m_count; }
    const SJoystickRecord& record(int i) const { return m_records[i]; }
    bool hasCapability(int record, int bit) const;
    DWORD capabilityMask(int record) const;

private:
    int m_count;
    SJoystickRecord m_records[MAX_RECORDS];
    SFlagSet m_caps[MAX_RECORDS];
};

// The one table of the input devices.
extern CInputRecordSet theInputRecordSet;
