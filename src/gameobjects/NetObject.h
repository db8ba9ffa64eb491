// CNetObject: the second interface of every game object, through which it is copied to the other
// machines of a network game: its network id, its type, and the replication messages. This build has
// no network transport, so the base writes and reads nothing; classes that replicate override.
#pragma once

#include <cstdint>

class CNetObject {
public:
    // Every object message starts with this header; the sender's game time stands at byte 11.
    static constexpr uint32_t MESSAGE_HEADER_SIZE = 19;
    static constexpr uint32_t HEADER_SENDER_TIME = 11;

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
    void clear()
    {
        d_netIdHigh = d_netIdLow = 0;
        d_remoteNode = 0;
        d_senderTime = 0;
    }

    // Whether the object's network node is this machine's: false only for the copy of an object
    // that another machine runs.
    bool isNodeFlagSet() const { return d_remoteNode == 0; }
    void setRemoteNode(bool remote) { d_remoteNode = remote ? 1 : 0; }
    // Reads the header at the start of an object message; false (nothing read) when the message
    // is shorter than the header.
    bool readMessageHeader(const uint8_t* pMessage, uint32_t length);
    // Writes a header for a message of the given type, stamped with the sender's game time; false
    // when the buffer cannot hold it.
    bool writeMessageHeader(uint8_t* pMessage, uint32_t length, uint16_t messageType, uint32_t senderTime) const;
    // The sender's game time of the last header read.
    uint32_t getSenderTime() const { return d_senderTime; }

protected:
    void setType(uint32_t typeId) { d_typeId = typeId; }

private:
    uint16_t d_netIdHigh;  // the id is kept high half first
    uint16_t d_netIdLow;
    uint32_t d_typeId;
    uint8_t d_remoteNode = 0;
    uint32_t d_senderTime = 0;
};
