// CEvents: the named-event wiring of a level's objects. An object with script outputs or inputs owns
// one record of the level's table: outputs name their recipients by instance name and send them an
// event id with a value; timed outputs are tested at an interval by a function of their owner;
// inputs map an event id to a handler that turns the event into a call on the receiving object.
//
// The table is made at level load (initialise) and freed at unload or restart (freeAll). A record
// is given back when its owner is carried out of the delete queue (releaseRecord), so that the next
// object under the same handle does not inherit its outputs.
#pragma once

#include "gamemanagement/Resource.h"

#include <cstdint>

class CGameObject;

// Opaque to the wiring; wide enough to carry a pointer (OnDefault receives one).
typedef uintptr_t EventValue;
// The value sent with an event, computed from the sender; null sends 0.
typedef EventValue (*EventValueFn)(CGameObject* pSender);
// A timed output sends only when this answers exactly 1.
typedef uint8_t (*EventShouldTriggerFn)(CGameObject* pOwner);
typedef void (*EventInHandler)(EventValue value, CGameObject* pThis);

class CEvents {
public:
    static constexpr uint32_t MAX_EVENTS = 16;
    static constexpr uint32_t MAX_RECIPIENTS = 15;
    static constexpr uint32_t MAX_NAME_LENGTH = 32;  // terminator included
    static constexpr uint32_t DEFAULT_MAX_HANDLERS = 620;

    enum EventId : uint32_t {
        ON_DEATH = 0,
        ON_DAMAGED = 1,
        ON_ON = 2,
        ON_OFF = 3,
        ON_HIDDEN = 4,
        ON_REVEALED = 5,
        ON_RESET = 6,
        ON_FINISHED = 7,
        ON_DEFAULT = 8,  // also where an event without a handler of its own goes
        ON_CONTAINS = 9,
        ON_EMPTYOF = 10,
        ON_STOP = 11,
        ON_GO = 12,
        ON_WAKEUP = 13,
        ON_GOTOSLEEP = 14,
        ON_INVULNERABLE = 15,
    };

    struct SOutProcess {
        uint32_t id;
        EventValueFn pValueFn;
        resourceHandle recipients[MAX_RECIPIENTS];  // 0 until the name is first resolved
        char recipientNames[MAX_RECIPIENTS][MAX_NAME_LENGTH];
        uint32_t numRecipients;
        uint8_t repeat;
        uint8_t fired;

        // Sends to every recipient that can be reached, for pThis; true when one was.
        bool fire(CGameObject* pThis);
    };

    struct STimedOutProcess {
        uint32_t id;
        EventShouldTriggerFn pShouldTriggerFn;
        uint32_t interval;  // ms of game time between tests
        EventValueFn pValueFn;
        resourceHandle recipients[MAX_RECIPIENTS];
        char recipientNames[MAX_RECIPIENTS][MAX_NAME_LENGTH];
        uint32_t numRecipients;
        uint32_t lastTestTime;
        uint8_t repeat;
        uint8_t fired;

        // As SOutProcess::fire, but spawned units ("sp-") are reached too.
        bool fire(CGameObject* pThis);
    };

    struct SInProcess {
        uint32_t id;
        EventInHandler handler;
    };

    // Makes the level's table. A non-zero maximum replaces the current one (and stays for later
    // levels); 0 keeps it. False when a table exists already or cannot be had.
    static bool initialise(uint32_t newMaxHandlers);
    // A fresh record owned by the handle, or null when the table is full or missing.
    static CEvents* allocate(resourceHandle owner);
    // Frees every record and the table.
    static void freeAll();
    // Gives back the record of an object that is gone, so that no later owner of its handle fires
    // its outputs; the pointer is cleared. Records of an earlier table are only forgotten.
    static void releaseRecord(CEvents*& pRecord);
    // The per-frame step of every live record: repeating outputs resend, timed outputs are tested.
    static void updateAll();

    static uint32_t getMaxHandlers() { return s_maxHandlers; }
    static uint32_t getNumHandlers() { return s_numHandlers; }
    static bool tableExists() { return s_handlers != nullptr; }
    static const CEvents* getTable() { return s_handlers; }

    // Each returns the new number of processes. An event id of MAX_EVENTS or more and a process
    // past the table are reported and dropped.
    uint32_t addOutProcess(uint32_t id, EventValueFn pValueFn, uint8_t repeat);
    uint32_t addTimedOutProcess(uint32_t id, EventShouldTriggerFn pShouldTriggerFn, uint32_t interval,
                                EventValueFn pValueFn, uint8_t repeat);
    uint32_t addInProcess(uint32_t id, EventInHandler handler);
    // Adds a recipient to the first process of that id. A sixteenth recipient and a name of
    // MAX_NAME_LENGTH characters or more are reported and dropped.
    void addRecipient(uint32_t id, const char* pInstanceName);
    void addTimedRecipient(uint32_t id, const char* pInstanceName);

    // Frees the record's processes and makes it free again.
    void clear();

    // Fires the out-processes of the id in order until one reaches somebody; true when one did.
    bool sendEvent(uint32_t id);
    // Runs the handler of the id, or else that of ON_DEFAULT; false when there is neither.
    bool receiveEvent(uint32_t id, EventValue value, CGameObject* pThis);
    // The owner's repeating and timed outputs, once per frame.
    void update();

    resourceHandle getOwner() const { return d_ownerHandle; }
    uint32_t getNumOutProcesses() const { return d_numOutProcesses; }
    uint32_t getNumTimedOutProcesses() const { return d_numTimedOutProcesses; }
    uint32_t getNumInProcesses() const { return d_numInProcesses; }
    // Null past the count.
    const SOutProcess* getOutProcess(uint32_t index) const;
    const STimedOutProcess* getTimedOutProcess(uint32_t index) const;
    // The handler for an id, or null.
    EventInHandler getInHandler(uint32_t id) const;

private:
    void setOwner(resourceHandle owner);

    static CEvents* s_handlers;
    static uint32_t s_maxHandlers;
    static uint32_t s_numHandlers;

    resourceHandle d_ownerHandle;
    SOutProcess** d_pOutProcesses;
    SInProcess* d_pInProcesses;
    STimedOutProcess** d_pTimedOutProcesses;
    uint8_t d_numOutProcesses;
    uint8_t d_numInProcesses;
    uint8_t d_numTimedOutProcesses;
};
