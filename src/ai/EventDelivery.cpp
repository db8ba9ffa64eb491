// Delivery of events: outputs reach their recipients by name (resolved once, then kept by handle),
// recipients run the handler of the id or their default handler, and the per-frame step resends
// repeating outputs and tests the timed ones.
#include "ai/Events.h"

#include "gameobjects/GameObject.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cstring>

namespace {

// Handlers may send further events; a ring of objects that answer each other would otherwise
// recurse until the stack runs out.
const int MAX_SEND_DEPTH = 64;
int sendDepth = 0;
// Reported once per table: a repeating ring would otherwise report every frame.
const CEvents* depthReportedFor = nullptr;

// The game object of a handle, or null when it does not acquire (or is no game object).
CGameObject* acquireObject(resourceHandle handle)
{
    CResource* pResource = nullptr;
    if (!pTheObjectManager || !pTheObjectManager->acquireResource(handle, &pResource) || !pResource) return nullptr;
    if (!VERIFY(pResource->getResourceType() == CResource::RESOURCETYPE_GAMEOBJECT)) return nullptr;
    return static_cast<CGameObject*>(pResource);
}

uint32_t gameTime() { return projDataExists() ? static_cast<uint32_t>(getProjData().getTime()) : 0; }

// Both kinds of process deliver alike; only plain outputs pass spawned units by.
template <class Process>
bool deliver(Process& process, CGameObject* pThis, bool plainOutput)
{
    if (!VERIFY(pThis)) return false;
    if (process.numRecipients == 0) return false;
    if (sendDepth >= MAX_SEND_DEPTH) {
        if (depthReportedFor != CEvents::getTable())
            assertFailedMsg(concatStrings("Events sent from handlers nest too deeply; dropped at ",
                                          pThis->getInstanceName() ? pThis->getInstanceName() : "an unnamed object"),
                            "sendDepth<MAX_SEND_DEPTH", __FILE__, __LINE__);
        depthReportedFor = CEvents::getTable();
        return false;
    }
    ++sendDepth;
    bool reached = false;
    const uint32_t count = process.numRecipients < CEvents::MAX_RECIPIENTS ? process.numRecipients
                                                                             : CEvents::MAX_RECIPIENTS;
    for (uint32_t i = 0; i < count; ++i) {
        if (process.recipients[i] == 0) {
            if (process.recipientNames[i][0] == 0) {
                assertFailed("recipients[i]!=0", __FILE__, __LINE__);
                continue;
            }
            // Not there yet: the name is tried again at the next send.
            resourceHandle found = 0;
            if (!pTheObjectManager || !pTheObjectManager->findHandleByName(process.recipientNames[i], &found))
                continue;
            process.recipients[i] = found;
        }
        // Once resolved the handle is kept: a recipient that was deleted stays silent.
        CGameObject* pObj = acquireObject(process.recipients[i]);
        if (!pObj) continue;
        const char* pName = pObj->getInstanceName();
        if (!pName || !pName[0]) continue;
        if (plainOutput && strstr(pName, "sp-")) continue;
        CEvents* pRecord = pObj->getMssgHandler();
        if (!pRecord) {
            if (plainOutput)
                assertFailedMsg(pName, "pObj->getMssgHandler()!=NULL", __FILE__, __LINE__);
            else
                assertFailed("pObj->getMssgHandler()!=NULL", __FILE__, __LINE__);
            continue;
        }
        const EventValue value = process.pValueFn ? process.pValueFn(pThis) : 0;
        pRecord->receiveEvent(process.id, value, pObj);
        reached = true;
    }
    --sendDepth;
    if (reached) process.fired = 1;
    return reached;
}

}  // namespace

bool CEvents::SOutProcess::fire(CGameObject* pThis) { return deliver(*this, pThis, true); }

bool CEvents::STimedOutProcess::fire(CGameObject* pThis) { return deliver(*this, pThis, false); }

bool CEvents::sendEvent(uint32_t id)
{
    if (!VERIFY(id<CEvents::MAX_EVENTS)) return false;
    ASSERT(d_ownerHandle!=0);
    if (d_numOutProcesses == 0 || !d_pOutProcesses) return false;
    CGameObject* pThis = acquireObject(d_ownerHandle);
    if (!pThis) return false;
    for (uint32_t i = 0; i < d_numOutProcesses; ++i) {
        SOutProcess* process = d_pOutProcesses[i];
        if (!process || process->id != id) continue;
        if (process->fire(pThis)) return true;
    }
    return false;
}

bool CEvents::receiveEvent(uint32_t id, EventValue value, CGameObject* pThis)
{
    if (!VERIFY(id<CEvents::MAX_EVENTS)) return false;
    if (!VERIFY(d_ownerHandle!=0) || !VERIFY(d_pInProcesses) || !VERIFY(pThis)) return false;
    EventInHandler handler = d_pInProcesses[id].handler;
    if (!handler) handler = d_pInProcesses[ON_DEFAULT].handler;
    if (!handler) return false;
    handler(value, pThis);
    return true;
}

void CEvents::update()
{
    // A deleted owner leaves its record alone.
    CGameObject* pThisOwner = acquireObject(d_ownerHandle);
    if (!pThisOwner) return;

    for (uint32_t i = 0; i < d_numOutProcesses; ++i) {
        SOutProcess* process = d_pOutProcesses[i];
        if (process && process->numRecipients > 0 && process->repeat && process->fired) process->fire(pThisOwner);
    }

    const uint32_t now = gameTime();
    for (uint32_t i = 0; i < d_numTimedOutProcesses; ++i) {
        STimedOutProcess* process = d_pTimedOutProcesses[i];
        if (!process || process->numRecipients == 0) continue;
        if (now - process->lastTestTime > process->interval) {
            process->lastTestTime = now;
            if (process->pShouldTriggerFn(pThisOwner) == 1) {
                process->fire(pThisOwner);
            } else {
                // Once a test fails the output no longer repeats between tests.
                process->fired = 0;
                process->repeat = 0;
            }
        } else if (process->repeat && process->fired) {
            process->fire(pThisOwner);
        }
    }
}

void CEvents::updateAll()
{
    if (!s_handlers) return;
    // Records made by handlers during the walk are stepped too: the table never moves.
    for (uint32_t i = 0; i < s_maxHandlers; ++i)
        if (s_handlers[i].d_ownerHandle != 0) s_handlers[i].update();
}
