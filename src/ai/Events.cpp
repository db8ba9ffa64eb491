#include "ai/Events.h"

#include "utility/Assert.h"

#include <cstring>
#include <new>

CEvents* CEvents::s_handlers = nullptr;
uint32_t CEvents::s_maxHandlers = CEvents::DEFAULT_MAX_HANDLERS;
uint32_t CEvents::s_numHandlers = 0;

namespace {

// Both process kinds keep their recipients the same way.
template <class Process>
void addName(Process& process, const char* pInstanceName, const char* countCheck)
{
    if (process.numRecipients >= CEvents::MAX_RECIPIENTS) {
        assertFailed(countCheck, __FILE__, __LINE__);
        return;
    }
    if (!VERIFY(pInstanceName)) return;
    // A name that does not fit is dropped whole: a cut name could reach the wrong object.
    if (!VERIFY(strlen(pInstanceName)<CEvents::MAX_NAME_LENGTH)) return;
    strcpy(process.recipientNames[process.numRecipients], pInstanceName);
    process.recipients[process.numRecipients] = 0;
    ++process.numRecipients;
}

bool validEventId(uint32_t id) { return VERIFY(id<CEvents::MAX_EVENTS); }

// Frees a record's process array with each process in use.
template <class Process>
void freeProcesses(Process**& processes, uint8_t count, const char* arrayCheck, const char* entryCheck)
{
    if (count > 0 && !processes) assertFailed(arrayCheck, __FILE__, __LINE__);
    for (uint32_t i = 0; processes && i < count; ++i) {
        if (!processes[i]) assertFailed(entryCheck, __FILE__, __LINE__);
        delete processes[i];
    }
    delete[] processes;
    processes = nullptr;
}

}  // namespace

bool CEvents::initialise(uint32_t newMaxHandlers)
{
    if (newMaxHandlers != 0) s_maxHandlers = newMaxHandlers;
    if (!VERIFY(s_handlers==NULL)) return false;
    if (!VERIFY(s_maxHandlers>0)) return false;
    s_handlers = new (std::nothrow) CEvents[s_maxHandlers]();
    s_numHandlers = 0;
    return VERIFY(s_handlers);
}

CEvents* CEvents::allocate(resourceHandle owner)
{
    // Owner 0 marks a free record: such a record would be handed out again and never freed.
    if (!VERIFY(owner!=0)) return nullptr;
    ASSERT((s_numHandlers+1)<s_maxHandlers);
    if (!s_handlers) {
        assertFailed("0", __FILE__, __LINE__);
        return nullptr;
    }
    for (uint32_t i = 0; i < s_maxHandlers; ++i) {
        CEvents& record = s_handlers[i];
        if (record.d_ownerHandle != 0) continue;
        ++s_numHandlers;
        record.setOwner(owner);
        return &record;
    }
    assertFailed("0", __FILE__, __LINE__);
    return nullptr;
}

void CEvents::freeAll()
{
    if (s_handlers) {
        for (uint32_t i = 0; i < s_maxHandlers; ++i)
            if (s_handlers[i].d_ownerHandle != 0) s_handlers[i].clear();
    }
    s_numHandlers = 0;
    delete[] s_handlers;
    s_handlers = nullptr;
}

void CEvents::releaseRecord(CEvents*& pRecord)
{
    CEvents* pGone = pRecord;
    pRecord = nullptr;
    const uintptr_t at = reinterpret_cast<uintptr_t>(pGone);
    const uintptr_t first = reinterpret_cast<uintptr_t>(s_handlers);
    if (!pGone || !s_handlers || at < first || at >= first + s_maxHandlers * sizeof(CEvents)) return;
    if (pGone->d_ownerHandle == 0) return;
    pGone->clear();
    --s_numHandlers;
}

void CEvents::setOwner(resourceHandle owner)
{
    ASSERT(d_ownerHandle==0);
    d_ownerHandle = owner;
}

void CEvents::clear()
{
    freeProcesses(d_pOutProcesses, d_numOutProcesses, "d_pOutProcesses", "d_pOutProcesses[i]");
    delete[] d_pInProcesses;
    d_pInProcesses = nullptr;
    freeProcesses(d_pTimedOutProcesses, d_numTimedOutProcesses, "d_pTimedOutProcesses", "d_pTimedOutProcesses[i]");
    d_numOutProcesses = d_numInProcesses = d_numTimedOutProcesses = 0;
    d_ownerHandle = 0;
}

uint32_t CEvents::addOutProcess(uint32_t id, EventValueFn pValueFn, uint8_t repeat)
{
    if (!validEventId(id)) return d_numOutProcesses;
    if (!d_pOutProcesses && d_ownerHandle != 0) d_pOutProcesses = new (std::nothrow) SOutProcess*[MAX_EVENTS]();
    if (!VERIFY(d_ownerHandle!=0 && d_pOutProcesses)) return d_numOutProcesses;
    if (!VERIFY(d_numOutProcesses<CEvents::MAX_EVENTS)) return d_numOutProcesses;
    SOutProcess* process = new (std::nothrow) SOutProcess();
    if (!VERIFY(process)) return d_numOutProcesses;
    process->id = id;
    process->pValueFn = pValueFn;
    process->repeat = repeat;
    d_pOutProcesses[d_numOutProcesses] = process;
    return ++d_numOutProcesses;
}

uint32_t CEvents::addTimedOutProcess(uint32_t id, EventShouldTriggerFn pShouldTriggerFn, uint32_t interval,
                                     EventValueFn pValueFn, uint8_t repeat)
{
    if (!validEventId(id)) return d_numTimedOutProcesses;
    if (!d_pTimedOutProcesses && d_ownerHandle != 0)
        d_pTimedOutProcesses = new (std::nothrow) STimedOutProcess*[MAX_EVENTS]();
    if (!VERIFY(d_ownerHandle!=0 && pShouldTriggerFn) || !VERIFY(d_pTimedOutProcesses))
        return d_numTimedOutProcesses;
    if (!VERIFY(d_numTimedOutProcesses<CEvents::MAX_EVENTS)) return d_numTimedOutProcesses;
    STimedOutProcess* process = new (std::nothrow) STimedOutProcess();
    if (!VERIFY(process)) return d_numTimedOutProcesses;
    process->id = id;
    process->pShouldTriggerFn = pShouldTriggerFn;
    process->interval = interval;
    process->pValueFn = pValueFn;
    process->lastTestTime = 0;
    process->repeat = repeat;
    d_pTimedOutProcesses[d_numTimedOutProcesses] = process;
    return ++d_numTimedOutProcesses;
}

uint32_t CEvents::addInProcess(uint32_t id, EventInHandler handler)
{
    if (!VERIFY(d_ownerHandle!=0)) return d_numInProcesses;
    if (!validEventId(id)) return d_numInProcesses;
    if (!d_pInProcesses) d_pInProcesses = new (std::nothrow) SInProcess[MAX_EVENTS]();
    if (!VERIFY(d_pInProcesses)) return d_numInProcesses;
    // A second handler for an id replaces the first; the count still grows.
    d_pInProcesses[id].id = id;
    d_pInProcesses[id].handler = handler;
    return ++d_numInProcesses;
}

void CEvents::addRecipient(uint32_t id, const char* pInstanceName)
{
    if (!VERIFY(d_numOutProcesses>0)) return;
    for (uint32_t i = 0; i < d_numOutProcesses; ++i) {
        if (d_pOutProcesses[i]->id != id) continue;
        addName(*d_pOutProcesses[i], pInstanceName, "d_pOutProcesses[i]->numRecipients<CEvents::MAX_RECIPIENTS");
        return;
    }
    assertFailed("0", __FILE__, __LINE__);
}

void CEvents::addTimedRecipient(uint32_t id, const char* pInstanceName)
{
    if (!VERIFY(d_numTimedOutProcesses>0)) return;
    for (uint32_t i = 0; i < d_numTimedOutProcesses; ++i) {
        if (d_pTimedOutProcesses[i]->id != id) continue;
        addName(*d_pTimedOutProcesses[i], pInstanceName,
                "d_pTimedOutProcesses[i]->numRecipients<CEvents::MAX_RECIPIENTS");
        return;
    }
    assertFailed("0", __FILE__, __LINE__);
}

const CEvents::SOutProcess* CEvents::getOutProcess(uint32_t index) const
{
    return index < d_numOutProcesses ? d_pOutProcesses[index] : nullptr;
}

const CEvents::STimedOutProcess* CEvents::getTimedOutProcess(uint32_t index) const
{
    return index < d_numTimedOutProcesses ? d_pTimedOutProcesses[index] : nullptr;
}

EventInHandler CEvents::getInHandler(uint32_t id) const
{
    if (!d_pInProcesses || id >= MAX_EVENTS) return nullptr;
    return d_pInProcesses[id].handler;
}
