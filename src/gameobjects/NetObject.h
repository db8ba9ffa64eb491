// CNetObject: the second interface of every game object, through which it is copied to the other
// machines of a network game: its network id, its type, and the replication messages. This build has
// no network transport, so the base writes and reads nothing; classes that replicate override.
#pragma once

#include <cstdint>

class CNetObject {
public:
    explicit CNetObject(uint32_t typeId = 0) : d_netIdHigh(0), d_netIdLow(0), d_typeId(typeId) {}
    virtual ~CNetObject() {}

    // The type of the pending update message (0: none).
    virtual uint16_t getUpdateMessageType() { return 0; }
    // Bytes written into the buffer (0: nothing to send).
    virtual uint32_t writeUpdate(uint8_t*, uint32_t) { return 0; }
    virtual bool readUpdate(const uint8_t*, uint32_t) { return false; }
    virtual uint32_t writeCreationData(uint8_t*, uint32_t) { return 0; }
    virtual bool readCreationData(const uint8_t*, uint32_t) { return false; }
    virtual uint16_t getCreationMessageType() { return 0; }
    // The type id under which the object's manager made it.
    virtual uint32_t GetType() const { return d_typeId; }

    uint32_t getNetId() const { return (static_cast<uint32_t>(d_netIdHigh) << 16) | d_netIdLow; }
    void setNetId(uint32_t id)
    {
        d_netIdHigh = static_cast<uint16_t>(id >> 16);
        d_netIdLow = static_cast<uint16_t>(id);
    }
    // Forgets the replication state (the type stays).
    void clear() { d_netIdHigh = d_netIdLow = 0; }

protected:
    void setType(uint32_t typeId) { d_typeId = typeId; }

private:
    uint16_t d_netIdHigh;  // the id is kept high half first
    uint16_t d_netIdLow;
    uint32_t d_typeId;
};
