// Wired test kinds: logging objects whose block may wire any event output and input, and which
// keep a state for saved levels.
//
// Keys read besides the base ones (all optional):
//   health N, send_value N, test_answer N   what the object starts with
//   forward ID                              every input it gets is passed on as event ID, by
//                                           sendForward (the event delivery sits above the objects:
//                                           its tests set it; unset, nothing is passed on)
//   Input_ID 1                              logs "got <name> <id> <value>" for that event id
//   Output { id ID  repeat R  timed T  interval MS  num_array_items N  Output0 name ... }
//       an output (several may be given); its value is the sender's send_value
#pragma once

#include "TestKinds.h"
#include "ai/Events.h"

#include <map>
#include <string>

namespace testkinds {

extern bool (*sendForward)(CEvents* pRecord, uint32_t id);

class WiredObject : public LoggedObject {
public:
    WiredObject(uint32_t typeId, CallLog& log) : LoggedObject(typeId, log) {}

    bool initFromParamBlock(CParamBlock* pBlock, resourceHandle creator) override;
    // The state entries as a block; none while the state is empty.
    CParamBlock* saveState() override;
    bool restoreState(CParamBlock* pBlock) override;

    // Called by the logging input handlers.
    void received(uint32_t id, EventValue value);
    // The event value outputs send (logs "value <name>").
    EventValue sendValue();
    // The timed outputs' test (logs "test <name>").
    uint8_t shouldTrigger();

    int32_t d_sendValue = 0;
    uint8_t d_testAnswer = 1;
    int32_t d_forward = -1;
    std::map<std::string, std::string> state;     // saved
    std::map<std::string, std::string> restored;  // what the last restore brought
    int restores = 0;

private:
    bool wire(CParamBlock* pBlock);
};

class WiredManager : public LoggingManager {
public:
    WiredManager(uint32_t managerId, CallLog& log, uint32_t capacity = 64)
        : LoggingManager(managerId, log, capacity), d_wiredLog(log)
    {
    }

protected:
    CResource* makeResource(uint32_t typeId) override { return new WiredObject(typeId, d_wiredLog); }

private:
    CallLog& d_wiredLog;
};

// The wired object of that instance name, or null.
WiredObject* wiredByName(CGameObjectManager* pObjects, const std::string& name);

}  // namespace testkinds
