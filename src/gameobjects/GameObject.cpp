#include "gameobjects/GameObject.h"

#include "ai/Events.h"
#include "ai/PathFollower.h"
#include "ai/WorldMgr.h"
#include "global/ProjData.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "utility/RunLog.h"

#include <cstdio>
#include <initializer_list>

namespace {

int contactRank(const CGameObject* object)
{
    switch (object->GetType()) {
    case CGameObject::TYPE_PLAYER_VEHICLE:
        return 3;
    case CGameObject::TYPE_STATIC_OBJECT:
        return 1;
    default:
        return 5;
    }
}

void killInContact(CGameObject* object)
{
    const uint32_t type = object->GetType();
    if (type == CGameObject::TYPE_PLAYER_VEHICLE)
        object->health = 0;
    else if (type >= CGameObject::TYPE_ANIMAL_FIRST && type <= CGameObject::TYPE_ANIMAL_LAST)
        object->OnDeath(0);
}

// The script inputs reach the object's handlers through these.
template <void (CGameObject::*Handler)(int32_t)>
void scriptInput(EventValue value, CGameObject* pThis)
{
    if (!VERIFY(pThis)) return;
    (pThis->*Handler)(static_cast<int32_t>(value));
}

void scriptInputDefault(EventValue value, CGameObject* pThis)
{
    if (!VERIFY(pThis)) return;
    pThis->OnDefault(reinterpret_cast<const SDefaultMessage*>(value));
}

uint8_t damagedShouldTrigger(CGameObject* pThis)
{
    if (!VERIFY(pThis)) return 0;
    return pThis->OnDamagedShouldTrigger() ? 1 : 0;
}

struct ScriptInput {
    const char* key;
    uint32_t id;
    EventInHandler handler;
};

// In the order they are registered; the keys are read in another order (readOrder).
const ScriptInput SCRIPT_INPUTS[] = {
    {"Input_OnDeath", CEvents::ON_DEATH, scriptInput<&CGameObject::OnDeath>},
    {"Input_OnHidden", CEvents::ON_HIDDEN, scriptInput<&CGameObject::OnHidden>},
    {"Input_OnRevealed", CEvents::ON_REVEALED, scriptInput<&CGameObject::OnRevealed>},
    {"Input_OnStop", CEvents::ON_STOP, scriptInput<&CGameObject::OnStop>},
    {"Input_OnGo", CEvents::ON_GO, scriptInput<&CGameObject::OnGo>},
    {"Input_OnWakeup", CEvents::ON_WAKEUP, scriptInput<&CGameObject::OnWakeup>},
    {"Input_OnGotosleep", CEvents::ON_GOTOSLEEP, scriptInput<&CGameObject::OnGotosleep>},
    {"Input_OnDefault", CEvents::ON_DEFAULT, scriptInputDefault},
};
const int NUM_SCRIPT_INPUTS = 8;
// The seven required keys are read in this order (indices into SCRIPT_INPUTS); Default may be absent.
const int readOrder[7] = {0, 1, 2, 3, 4, 6, 5};

enum Output { OUT_DEATH, OUT_DAMAGED, OUT_HIDDEN, OUT_REVEALED, NUM_OUTPUTS };
const char* const OUTPUT_NAMES[NUM_OUTPUTS] = {"OnDeath", "OnDamaged", "OnHidden", "OnRevealed"};
const uint32_t OUTPUT_IDS[NUM_OUTPUTS] = {CEvents::ON_DEATH, CEvents::ON_DAMAGED, CEvents::ON_HIDDEN,
                                          CEvents::ON_REVEALED};

// Reads the recipients "<output>0", "<output>1"... of an output's block; false at the first missing.
bool addRecipients(CEvents* pEvents, const CParamBlock* pBlock, Output output, int count, bool timed)
{
    char key[48];
    char name[256];
    for (int i = 0; i < count; ++i) {
        snprintf(key, sizeof key, "%s%i", OUTPUT_NAMES[output], i);
        if (!pBlock->parseString(key, name)) return false;
        if (timed)
            pEvents->addTimedRecipient(OUTPUT_IDS[output], name);
        else
            pEvents->addRecipient(OUTPUT_IDS[output], name);
    }
    return true;
}

void reportCannot(const char* what) { assertFailedMsg(what, "0", __FILE__, __LINE__); }

}  // namespace

CGameObject::CGameObject(uint32_t typeId)
    : CNetObject(typeId), mass(1.0f), energyToDamage(1.0f), energyToDamageStationary(1.0f), damageThreshold(0.0f),
      passThru(1), maxVelocity(0.0f), maxKnockbackVelocity(100.0f), movable(1), showenergybar(1),
      pCollisionObject(nullptr), pPhysicsObject(nullptr), pPathFollower(nullptr), d_creator(0),
      d_pListElement(nullptr), d_pList(nullptr),
      d_pRenderGroupElement(nullptr), d_renderGroupKey(0), d_leafIndex(NO_LEAF), d_active(1), d_treeEligible(1),
      d_updateFlag(1), d_alwaysMoving(0), d_treeMember(1), d_queuedForDeletion(0), d_updateLast(0), d_flashRadar(0),
      d_alwaysWreck(0), d_trackDeletion(1), pInstanceName(nullptr), d_nameKey(0), health(0), d_lastDamageMssgHealth(-1),
      d_damageTriggerFraction(1.0f), d_pMssgHandler(nullptr)
{
}

CGameObject::~CGameObject()
{
    delete pPathFollower;
    pPathFollower = nullptr;
    delete[] pInstanceName;
    pInstanceName = nullptr;
}

void CGameObject::notifyKilled(CGameObject* pVictim)
{
    if (!projDataExists()) return;
    if (CWorldMgr* world = getProjData().getWorldMgr()) world->trackDeath(pVictim, this);
}

bool CGameObject::initFromArgs(resourceHandle creator, ObjectArgs)
{
    d_creator = creator;
    return true;
}

bool CGameObject::initFromParamBlock(CParamBlock* pBlock, resourceHandle creator)
{
    if (!pBlock) {
        assertFailed("pParamBlock", __FILE__, __LINE__);
        return false;
    }
    const int nameSize = pBlock->parseStringGetSize("instancename");
    if (nameSize > 0) {
        delete[] pInstanceName;
        pInstanceName = new char[nameSize];
        pBlock->parseString("instancename", pInstanceName, nameSize);
    }
    int value = 0;
    d_active = (pBlock->parseInt("initialstate", &value) && value == 0) ? 0 : 1;
    showenergybar = pBlock->parseInt("showenergybar", &value) ? (value != 0) : 1;
    pBlock->parseFloat("maxKnockbackVelocity", &maxKnockbackVelocity);
    pBlock->parseFloat("mass", &mass);
    pBlock->parseFloat("energyToDamage", &energyToDamage);
    pBlock->parseFloat("energyToDamageStationary", &energyToDamageStationary);
    pBlock->parseFloat("damageThreshold", &damageThreshold);
    pBlock->parseFloat("maxVelocity", &maxVelocity);
    if (pBlock->parseInt("passThru", &value)) passThru = static_cast<uint32_t>(value) > PASSTHRU_MAX ? 0 : value;
    value = 1;
    pBlock->parseInt("movable", &value);
    movable = value != 0;
    if (pBlock->parseInt("flash_radar", &value) && value == 1) d_flashRadar = 1;
    if (pBlock->parseInt("Always_wreck", &value) && value == 1) d_alwaysWreck = 1;
    d_creator = creator;
    // An object without (complete) wiring is still a whole object.
    initBaseScriptWiring(pBlock);
    return true;
}

bool CGameObject::initBaseScriptWiring(CParamBlock* pBlock)
{
    if (!pBlock) {
        assertFailed("pParamBlock", __FILE__, __LINE__);
        return false;
    }
    int percent = 0;
    if (!pBlock->parseInt("OnDamaged_trgr_%", &percent)) return false;
    d_damageTriggerFraction = percent * 0.01f;

    CParamBlock* blocks[NUM_OUTPUTS];
    for (int i = 0; i < NUM_OUTPUTS; ++i)
        if (!pBlock->findBlock(OUTPUT_NAMES[i], &blocks[i])) return false;
    int inputs[NUM_SCRIPT_INPUTS] = {};
    for (int i : readOrder)
        if (!pBlock->parseInt(SCRIPT_INPUTS[i].key, &inputs[i])) return false;
    pBlock->parseInt(SCRIPT_INPUTS[NUM_SCRIPT_INPUTS - 1].key, &inputs[NUM_SCRIPT_INPUTS - 1]);
    int counts[NUM_OUTPUTS];
    for (int i = 0; i < NUM_OUTPUTS; ++i)
        if (!blocks[i]->parseInt("num_array_items", &counts[i])) return false;

    bool wired = false;
    for (int flag : inputs) wired = wired || flag > 0;
    for (int count : counts) wired = wired || count > 0;
    if (!wired) return true;
    if (!d_pMssgHandler) {
        d_pMssgHandler = CEvents::allocate(getResourceHandle());
        if (!d_pMssgHandler) {
            assertFailed("pM", __FILE__, __LINE__);
            return false;
        }
    }
    CEvents* pM = d_pMssgHandler;
    for (int i = 0; i < NUM_SCRIPT_INPUTS; ++i)
        if (inputs[i] > 0) pM->addInProcess(SCRIPT_INPUTS[i].id, SCRIPT_INPUTS[i].handler);
    for (Output output : {OUT_HIDDEN, OUT_REVEALED, OUT_DEATH}) {
        if (counts[output] <= 0) continue;
        pM->addOutProcess(OUTPUT_IDS[output], nullptr, 0);
        if (!addRecipients(pM, blocks[output], output, counts[output], false)) return false;
    }
    if (counts[OUT_DAMAGED] > 0) {
        pM->addTimedOutProcess(CEvents::ON_DAMAGED, damagedShouldTrigger, DAMAGE_MESSAGE_INTERVAL, nullptr, 0);
        if (!addRecipients(pM, blocks[OUT_DAMAGED], OUT_DAMAGED, counts[OUT_DAMAGED], true)) return false;
    }
    return true;
}

bool CGameObject::GetCurrentDirection(Vector3* pDirection)
{
    pDirection->set(1.0f, 0.0f, 0.0f);
    return true;
}

bool CGameObject::GetCurrentSpeed(float* pSpeed)
{
    *pSpeed = 0.0f;
    return true;
}

bool CGameObject::getOrientationMatrix(const Matrix3** ppOrientation)
{
    *ppOrientation = nullptr;
    return false;
}

bool CGameObject::GetCurrentVelocity(Vector3* pVelocity)
{
    Vector3 direction;
    float speed = 0.0f;
    if (GetCurrentDirection(&direction) && GetCurrentSpeed(&speed))
        *pVelocity = direction * speed;
    else
        pVelocity->set(0.0f, 0.0f, 0.0f);
    return true;
}

void CGameObject::OnDeath(int32_t) { reportCannot("I cannot die"); }
void CGameObject::OnHidden(int32_t) { reportCannot("I cannot hide"); }
void CGameObject::OnRevealed(int32_t) { reportCannot("I cannot reveal myself to the jedi"); }
void CGameObject::OnStop(int32_t) { reportCannot("I cannot stop"); }
void CGameObject::OnGo(int32_t) { reportCannot("I cannot go"); }
void CGameObject::OnInvulnerable(int32_t) { reportCannot("I cannot respond to invulnerability messages"); }
void CGameObject::OnWakeup(int32_t) { reportCannot("I can't wakeup"); }
void CGameObject::OnGotosleep(int32_t) { reportCannot("I can't goto sleep"); }

bool CGameObject::OnDamagedShouldTrigger()
{
    if (health <= 0) return false;
    if (d_lastDamageMssgHealth == -1) d_lastDamageMssgHealth = health;
    if (health == d_lastDamageMssgHealth) return false;
    if (health > d_lastDamageMssgHealth)
        assertFailedMsg(concatStrings("Object ", pInstanceName, " appears to have increasing health?? Last =",
                                      intToString(d_lastDamageMssgHealth), " current=", intToString(health)),
                        "health<=d_lastDamageMssgHealth", __FILE__, __LINE__);
    const float last = static_cast<float>(d_lastDamageMssgHealth);
    if ((last - static_cast<float>(health)) / last < d_damageTriggerFraction) return false;
    d_lastDamageMssgHealth = health;
    return true;
}

void CGameObject::OnDefault(const SDefaultMessage* pMessage)
{
    if (pMessage && pMessage->senderType == TYPE_FILTER_SCRIPT) d_flashRadar = static_cast<uint8_t>(pMessage->value);
}

void CGameObject::resolveContactKill(CGameObject* other)
{
    if (!VERIFY(other)) return;
    const int mine = contactRank(this);
    const int theirs = contactRank(other);
    if (mine >= theirs) killInContact(this);
    if (theirs >= mine) killInContact(other);
}

void CGameObject::setPathFollower(CPathFollower* pFollower)
{
    if (!pFollower) {
        assertFailed("pPathFollower", __FILE__, __LINE__);
        return;
    }
    delete pPathFollower;
    pPathFollower = pFollower;
}
