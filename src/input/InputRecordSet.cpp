#include "input/InputRecordSet.h"

#include "utility/FlagSet.h"

#include <cstring>

CInputRecordSet theInputRecordSet;

CInputRecordSet::CInputRecordSet() { clear(); }

CInputRecordSet::~CInputRecordSet() { clear(); }

void CInputRecordSet::clear()
{
    m_count = 0;
    for (int i = 0; i < MAX_RECORDS; ++i) {
        m_records[i].instanceName[0] = '\0';
        m_records[i].productName[0] = '\0';
        std::memset(&m_records[i].instance, 0, sizeof(GUID));
        std::memset(m_caps[i].bytes, 0, sizeof(m_caps[i].bytes));
        m_caps[i].size = sizeof(m_caps[i].bytes);
    }
}

bool CInputRecordSet::add(const GUID& instance, const char* instanceName, const char* productName)
{
    if (m_count >= MAX_RECORDS) return false;
    SJoystickRecord& r = m_records[m_count];
    std::strncpy(r.instanceName, instanceName, MAX_PATH - 1);
    r.instanceName[MAX_PATH - 1] = '\0';
    std::strncpy(r.productName, productName, MAX_PATH - 1);
    r.productName[MAX_PATH - 1] = '\0';
    r.instance = instance;
    ++m_count;
    return true;
}

void CInputRecordSet::addObject(int record, DWORD offset)
{
    if (record < 0 || record >= MAX_RECORDS) return;
    int bit = -1;
    if (offset < 32 && offset % 4 == 0) bit = CAPS_X + static_cast<int>(offset / 4);  // axes and sliders
    else if (offset < 48 && offset % 4 == 0) bit = CAPS_POV0 + static_cast<int>((offset - 32) / 4);
    else if (offset >= 48 && offset < 48 + MAX_CAPS_BUTTONS) bit = CAPS_BUTTON0 + static_cast<int>(offset - 48);
    if (bit >= 0) setFlagBit(m_caps[record].bytes, static_cast<uint32_t>(bit));
}

bool CInputRecordSet::hasCapability(int record, int bit) const
{
    if (record < 0 || record >= MAX_RECORDS || bit < 0 || bit >= 32) return false;
    return (m_caps[record].bytes[bit / 8] >> (bit % 8)) & 1;
}

DWORD CInputRecordSet::capabilityMask(int record) const
{
    if (record < 0 || record >= MAX_RECORDS) return 0;
    const BYTE* b = m_caps[record].bytes;
    return b[0] | (DWORD(b[1]) << 8) | (DWORD(b[2]) << 16) | (DWORD(b[3]) << 24);
}
