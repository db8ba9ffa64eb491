#include "WiredKinds.h"

#include "ai/Events.h"
#include "gameobjects/GameObjectManager.h"
#include "utility/ActualParameter.h"
#include "utility/ParamBlock.h"

#include <array>
#include <cstdio>
#include <utility>

namespace testkinds {

namespace {

template <uint32_t ID>
void logInput(EventValue value, CGameObject* pThis)
{
    static_cast<WiredObject*>(pThis)->received(ID, value);
}

template <size_t... I>
constexpr std::array<EventInHandler, CEvents::MAX_EVENTS> makeInputs(std::index_sequence<I...>)
{
    return {logInput<I>...};
}
const std::array<EventInHandler, CEvents::MAX_EVENTS> INPUTS = makeInputs(std::make_index_sequence<CEvents::MAX_EVENTS>());

EventValue valueOf(CGameObject* pSender) { return static_cast<WiredObject*>(pSender)->sendValue(); }
uint8_t testOf(CGameObject* pOwner) { return static_cast<WiredObject*>(pOwner)->shouldTrigger(); }

int intOr(const CParamBlock* pBlock, const char* key, int fallback)
{
    pBlock->parseInt(key, &fallback);
    return fallback;
}

}  // namespace

bool (*sendForward)(CEvents* pRecord, uint32_t id) = nullptr;

bool WiredObject::initFromParamBlock(CParamBlock* pBlock, resourceHandle creator)
{
    const bool ok = LoggedObject::initFromParamBlock(pBlock, creator);
    health = intOr(pBlock, "health", health);
    d_sendValue = intOr(pBlock, "send_value", d_sendValue);
    d_testAnswer = static_cast<uint8_t>(intOr(pBlock, "test_answer", d_testAnswer));
    d_forward = intOr(pBlock, "forward", d_forward);
    return ok && wire(pBlock);
}

bool WiredObject::wire(CParamBlock* pBlock)
{
    auto record = [this] {
        if (!d_pMssgHandler) d_pMssgHandler = CEvents::allocate(getResourceHandle());
        return d_pMssgHandler;
    };
    char key[32];
    for (uint32_t id = 0; id < CEvents::MAX_EVENTS; ++id) {
        snprintf(key, sizeof key, "Input_%u", id);
        if (intOr(pBlock, key, 0) > 0 && record()) record()->addInProcess(id, INPUTS[id]);
    }
    CParamBlock* pOutput = nullptr;
    for (uint32_t n = 0; pBlock->getBlock(n, &pOutput); ++n) {
        if (!CParameter::namesMatch(pOutput->getName(), "Output") || !record()) continue;
        const uint32_t id = static_cast<uint32_t>(intOr(pOutput, "id", 0));
        const uint8_t repeat = static_cast<uint8_t>(intOr(pOutput, "repeat", 0));
        const bool timed = intOr(pOutput, "timed", 0) != 0;
        const EventValueFn value = intOr(pOutput, "value", 1) ? valueOf : nullptr;
        if (timed)
            record()->addTimedOutProcess(id, testOf, static_cast<uint32_t>(intOr(pOutput, "interval", 500)), value,
                                         repeat);
        else
            record()->addOutProcess(id, value, repeat);
        char name[64];
        for (int i = 0; i < intOr(pOutput, "num_array_items", 0); ++i) {
            snprintf(key, sizeof key, "Output%i", i);
            if (!pOutput->parseString(key, name)) return false;
            if (timed)
                record()->addTimedRecipient(id, name);
            else
                record()->addRecipient(id, name);
        }
    }
    return true;
}

void WiredObject::received(uint32_t id, EventValue value)
{
    note(("got " + std::to_string(id)).c_str(), static_cast<int32_t>(value));
    if (d_forward >= 0 && getMssgHandler() && sendForward) sendForward(getMssgHandler(), static_cast<uint32_t>(d_forward));
}

EventValue WiredObject::sendValue()
{
    note("value");
    return static_cast<EventValue>(d_sendValue);
}

uint8_t WiredObject::shouldTrigger()
{
    note("test");
    return d_testAnswer;
}

CParamBlock* WiredObject::saveState()
{
    if (state.empty()) return nullptr;
    CParamBlock* pBlock = new CParamBlock();
    for (const auto& [key, value] : state) pBlock->addString(key.c_str(), value.c_str());
    return pBlock;
}

bool WiredObject::restoreState(CParamBlock* pBlock)
{
    note("restoreState");
    ++restores;
    restored.clear();
    for (const paramNode* node = pBlock->getFirstNode(); node; node = node->pNext)
        if (node->pParam->getType() == CParameter::PARAMETER_ACTUAL)
            restored[node->pParam->getName()] = static_cast<const CActualParameter*>(node->pParam)->getValue();
    return true;
}

WiredObject* wiredByName(CGameObjectManager* pObjects, const std::string& name)
{
    resourceHandle handle = 0;
    CResource* pResource = nullptr;
    if (!pObjects->findHandleByName(name.c_str(), &handle) || !pObjects->acquireResource(handle, &pResource))
        return nullptr;
    return static_cast<WiredObject*>(pResource);
}

}  // namespace testkinds
