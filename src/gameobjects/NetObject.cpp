#include "gameobjects/NetObject.h"

#include <cstring>

// Header layout: message type (u16), net id (u32), type id (u32), a flag byte, the sender's game
// time (u32), then four bytes kept free.
namespace {

const uint32_t HEADER_TYPE = 0;
const uint32_t HEADER_NET_ID = 2;
const uint32_t HEADER_TYPE_ID = 6;

}  // namespace

bool CNetObject::readMessageHeader(const uint8_t* pMessage, uint32_t length)
{
    if (!pMessage || length < MESSAGE_HEADER_SIZE) return false;
    std::memcpy(&d_senderTime, pMessage + HEADER_SENDER_TIME, sizeof d_senderTime);
    return true;
}

bool CNetObject::writeMessageHeader(uint8_t* pMessage, uint32_t length, uint16_t messageType,
                                    uint32_t senderTime) const
{
    if (!pMessage || length < MESSAGE_HEADER_SIZE) return false;
    std::memset(pMessage, 0, MESSAGE_HEADER_SIZE);
    const uint32_t netId = getNetId();
    std::memcpy(pMessage + HEADER_TYPE, &messageType, sizeof messageType);
    std::memcpy(pMessage + HEADER_NET_ID, &netId, sizeof netId);
    std::memcpy(pMessage + HEADER_TYPE_ID, &d_typeId, sizeof d_typeId);
    std::memcpy(pMessage + HEADER_SENDER_TIME, &senderTime, sizeof senderTime);
    return true;
}
