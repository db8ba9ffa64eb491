#include "gameobjects/TreeClump.h"

#include "ai/WorldMgr.h"
#include "gamemanagement/ResourceManager.h"
#include "gameobjects/CollisionHierarchy.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/GameTree.h"
#include "gameobjects/SampleObjectParts.h"
#include "global/ProjData.h"
#include "kestrune/ClumpManager.h"
#include "l3render/L3Render.h"
#include "l3render/Model.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelInst.h"
#include "matcore9/Forwarders.h"
#include "matcore9/HWDynamicMesh.h"
#include "platform/win32/runtime.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "weapons/WeaponDescription.h"
#include "weapons/WeaponElementInstance.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>

typedef CCollisionObjectResourceManager Collision;

namespace {

const uint32_t TYPE_IGNORED[] = {0x02000001, 0x02000004, 0x0200000a, 0x06000006};
const float TWO_PI_THOUSANDTHS = 0.006283186f;

const STreeSettings& trees()
{
    static const STreeSettings defaults;
    CWorldMgr* pWorld = projDataExists() ? getProjData().getWorldMgr() : nullptr;
    return pWorld ? pWorld->getTreeSettings() : defaults;
}

bool treeDamageOn()
{
    CWorldMgr* pWorld = projDataExists() ? getProjData().getWorldMgr() : nullptr;
    return pWorld && pWorld->d_treeDamage;
}

Vector3 positionOf(const CModelInst* pInst)
{
    const float* t = pInst->m_transform.Translation;
    return Vector3(t[0], t[1], t[2]);
}

Matrix3 rotationOf(const CModelInst* pInst)
{
    Matrix3 m;
    for (int i = 0; i < 9; ++i) m.element(i) = pInst->m_transform.Rotation[i];
    return m;
}

// The turn about their common perpendicular that takes the unit axis u onto the unit direction d
// (identity when they are parallel), for row vectors.
Matrix3 turnOnto(const Vector3& u, const Vector3& d)
{
    Matrix3 r;
    Vector3 k = u.cross(d);
    const float s = std::sqrt(k.lengthSquared()), c = u.dot(d);
    if (!(s > 1e-6f)) return r;
    k = k / s;
    for (int i = 0; i < 3; ++i) {
        const Vector3 e(i == 0, i == 1, i == 2);
        const float ki = i == 0 ? k.x : i == 1 ? k.y : k.z;
        r.setRow1(i, e * c + k.cross(e) * s + k * (ki * (1.0f - c)));
    }
    return r;
}

// The unit part of v across the normal; false when v runs along it.
bool acrossNormal(const Vector3& v, const Vector3& n, Vector3* pOut)
{
    const Vector3 across = v - n * v.dot(n);
    const float length2 = across.lengthSquared();
    if (!(length2 >= 1e-6f)) return false;
    *pOut = across / std::sqrt(length2);
    return true;
}

// Exactly three integers of 32 bits between blanks.
bool parseIntegers(const char* pText, int32_t (&out)[3])
{
    for (int32_t& number : out) {
        char* pEnd = nullptr;
        errno = 0;
        const long long value = std::strtoll(pText, &pEnd, 10);
        if (pEnd == pText || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return false;
        number = static_cast<int32_t>(value);
        pText = pEnd;
    }
    while (*pText == ' ' || *pText == '\t') ++pText;
    return *pText == 0;
}

}  // namespace

CTreeClump::CTreeClump()
    : CGameObject(TYPE_ID), d_team(DEFAULT_TEAM), d_pClump(nullptr), d_pElements(nullptr), d_pTreeElements(nullptr),
      d_ppSpheres(nullptr), d_pSphereHandles(nullptr), d_pointHandle(0), d_numElements(0), d_ripplePhase(0.0f)
{
    mass = 100.0f;
    energyToDamage = energyToDamageStationary = 0.0f;
    damageThreshold = 1.0f;
    passThru = 1;
    maxKnockbackVelocity = 100.0f;
    movable = 0;
}

CTreeClump::~CTreeClump()
{
    d_actions.clear();
    releaseCollision();
    delete[] d_pElements;
    delete[] d_pTreeElements;
}

void CTreeClump::releaseCollision()
{
    CGameObjectManager* pObjects = pTheObjectManager;
    if (pCollisionObject) {
        const uint32_t kind = pCollisionObject->getCollisionType();
        if (kind == Collision::COLLISION_SIMPLE_HIERARCHY)
            delete static_cast<CCollisionHierarchy*>(pCollisionObject);
        else if (kind == Collision::COLLISION_POINT && pObjects)
            pObjects->releaseResource(d_pointHandle);
        else
            assertFailedMsg("Unexpected clump collision object type", "0", __FILE__, __LINE__);
        pCollisionObject = nullptr;
    }
    for (uint32_t i = 0; d_pSphereHandles && i < d_numElements; ++i)
        if (d_pSphereHandles[i] && pObjects) pObjects->releaseResource(d_pSphereHandles[i]);
    delete[] d_pSphereHandles;
    delete[] d_ppSpheres;
    d_pSphereHandles = nullptr;
    d_ppSpheres = nullptr;
    d_pointHandle = 0;
}

CClumpType* CTreeClump::type() const { return d_pClump ? d_pClump->GetClumpType() : nullptr; }

uint32_t CTreeClump::getClumpTypeIndex() const { return d_pClump ? d_pClump->d_clumpType : 0; }

bool CTreeClump::initFromArgs(resourceHandle creator, ObjectArgs args)
{
    CGameObject::initFromArgs(creator, args);
    if (!VERIFY(args) || !VERIFY(args[0])) return false;
    d_pClump = static_cast<CClumpInstance*>(const_cast<void*>(args[0]));
    CClumpType* pType = type();
    if (!VERIFY(pType) || !VERIFY(d_pClump->d_pClump)) return false;
    d_pClump->d_pClump->m_nearDistance = 1500.0f;
    d_pClump->d_pClump->m_farDistance = 2000.0f;
    d_team = pType->team;
    if (d_team > 7) {
        assertFailedMsg("Invalid team for clump", "0", __FILE__, __LINE__);
        d_team = DEFAULT_TEAM;
    }
    d_ripplePhase = 0.0f;
    if (!(pType->health > 0.0f)) pType->health = DEFAULT_HEALTH;
    setUpCollision();
    d_active = 1;
    mass = 500.0f;
    energyToDamage = energyToDamageStationary = 0.3f;
    damageThreshold = 0.0f;
    passThru = 1;
    maxVelocity = 0.0f;
    return true;
}

void CTreeClump::setUpCollision()
{
    CClumpType* pType = type();
    CModelClump* pModelClump = d_pClump->d_pClump;
    CGameObjectManager* pObjects = pTheObjectManager;
    const bool flammable = (pType->flags & CClumpType::FLAG_FLAMMABLE) != 0;
    if (pType->objectType == MODE_NONE && !flammable) {
        // A ghost clump: nothing touches it.
        d_treeEligible = 0;
        d_pointCentre = pModelClump->GetCentre();
        CResource* pPoint = nullptr;
        if (!pObjects || !pObjects->instantiateResource(CResourceManager::MANAGER_COLLISION, Collision::COLLISION_POINT, &d_pointHandle)) {
            assertFailedMsg("Failed to instantiate collision point for ghost clump", "0", __FILE__, __LINE__);
            d_pointHandle = 0;
            return;
        }
        if (!pObjects->acquireResource(d_pointHandle, &pPoint) || !pPoint) {
            assertFailedMsg("Failed to acquire collision point for ghost clump", "0", __FILE__, __LINE__);
            pObjects->releaseResource(d_pointHandle);
            d_pointHandle = 0;
            return;
        }
        static_cast<CCollisionPoint*>(pPoint)->pCentre = &d_pointCentre;
        pCollisionObject = static_cast<CCollisionObject*>(pPoint);
        return;
    }
    d_numElements = pModelClump->GetNumElements();
    d_pElements = new Element[d_numElements];
    d_ppSpheres = new CCollisionSphere*[d_numElements]();
    d_pSphereHandles = new resourceHandle[d_numElements]();
    std::vector<uint32_t> ids(d_numElements);
    if (pType->objectType == MODE_TREE) d_pTreeElements = new TreeElement[d_numElements];
    const float fudge = trees().collisionsizefudge;
    for (uint32_t i = 0; i < d_numElements; ++i) {
        ids[i] = i;
        Element& e = d_pElements[i];
        e = Element{static_cast<int32_t>(pType->health), Vector3(), 0, ACTION_NONE};
        CClumpElementData* pData = pModelClump->GetElement(i);
        if (!pData || !pData->pModelInst) continue;
        const Matrix3 rotation = rotationOf(pData->pModelInst);
        if (d_pTreeElements) {
            for (int k = 0; k < 9; ++k) ASSERT(isValidFloat(rotation.element(k)));
            d_pTreeElements[i].fallen = 0;
            matrix3ToQuat(rotation, d_pTreeElements[i].upright);
            d_pTreeElements[i].fallenOrientation = Quaternion();
        }
        const Vector3 position = positionOf(pData->pModelInst);
        CCollisionObject* pBuilt = nullptr;
        if (buildCollisionHierarchy(pData->pModelInst, &pBuilt, position, rotation, pType->hasCombinedMesh != 0) &&
            pType->objectType != MODE_NONE) {
            e.centre = position;
            continue;
        }
        const CModel* pModel = pData->pModelList[pData->currentState] ? pData->pModelList[pData->currentState]
                                                                        : pData->pModelInst->m_pModel;
        e.centre = position + (pModel ? pModel->m_centre : Vector3());
        CResource* pSphere = nullptr;
        if (!pObjects || !pObjects->instantiateResource(CResourceManager::MANAGER_COLLISION, Collision::COLLISION_SPHERE,
                                                        &d_pSphereHandles[i])) {
            assertFailedMsg("Failed to instantiate collision sphere for clump elem", "0", __FILE__, __LINE__);
            d_pSphereHandles[i] = 0;
            continue;
        }
        if (!pObjects->acquireResource(d_pSphereHandles[i], &pSphere) || !pSphere) {
            assertFailedMsg("Failed to acquire collision sphere for clump elem", "0", __FILE__, __LINE__);
            pObjects->releaseResource(d_pSphereHandles[i]);
            d_pSphereHandles[i] = 0;
            continue;
        }
        d_ppSpheres[i] = static_cast<CCollisionSphere*>(pSphere);
        d_ppSpheres[i]->pCentre = &e.centre;
        d_ppSpheres[i]->radius = fudge * (pModel ? pModel->m_radius : 0.0f);
    }
    pCollisionObject = CCollisionHierarchy::build(d_ppSpheres, ids.data(), d_numElements);
}

bool CTreeClump::isCollidable(uint32_t id) const
{
    return pCollisionObject && pCollisionObject->getCollisionType() == Collision::COLLISION_SIMPLE_HIERARCHY &&
           static_cast<const CCollisionHierarchy*>(pCollisionObject)->isEnabledById(id);
}

void CTreeClump::setCollidable(uint32_t id, bool on)
{
    if (pCollisionObject && pCollisionObject->getCollisionType() == Collision::COLLISION_SIMPLE_HIERARCHY)
        static_cast<CCollisionHierarchy*>(pCollisionObject)->setEnabledById(id, on);
}

void CTreeClump::setState(uint32_t id, int state, const Vector3* pAt, bool play)
{
    if (play)
        d_pClump->SetElementStateEx(id, static_cast<uint32_t>(state), CClumpInstance::COPY_MASK_DEFAULT, pAt, true);
    else
        d_pClump->SetElementState(id, static_cast<uint32_t>(state), nullptr, false);
}

bool CTreeClump::GetCurrentPosition(Vector3* pPosition)
{
    if (!d_pClump || !d_pClump->d_pClump) return false;
    if (pPosition) *pPosition = d_pClump->d_pClump->GetCentre();
    return true;
}

// ---- Contacts ----

void CTreeClump::interact(CGameObject* pOther)
{
    if (!pOther || !d_pClump) return;
    const uint32_t otherType = pOther->GetType();
    for (uint32_t ignored : TYPE_IGNORED)
        if (otherType == ignored) return;
    if (!pCollisionObject || pCollisionObject->getCollisionType() != Collision::COLLISION_SIMPLE_HIERARCHY) return;
    Vector3 point, normal;
    if (!sampleparts::testShapes(*this, *pOther, &point, &normal)) return;
    auto* pHierarchy = static_cast<CCollisionHierarchy*>(pCollisionObject);
    bool changed = false;
    if (otherType == WeaponElementInstance::TYPE_ID &&
        static_cast<WeaponElementInstance*>(pOther)->canDamage(getResourceHandle()))
        changed = treeShot(pHierarchy, pOther);
    else if (type()->objectType == MODE_TREE)
        changed = knockOver(pHierarchy);
    else if (type()->objectType == MODE_BREAKABLE)
        changed = breakElements(pHierarchy, pOther);
    if (changed) pOther->contactReply(this, point, normal);
}

bool CTreeClump::knockOver(CCollisionHierarchy* pHierarchy)
{
    bool any = false;
    uint32_t id = 0;
    Vector3 point;
    pHierarchy->beginHits();
    for (int32_t hit; (hit = pHierarchy->nextHit(&id, &point)) >= 0;) {
        if (d_pTreeElements[id].fallen || !startFalling(id, point)) continue;
        pHierarchy->setHitEnabled(hit, false);
        any = true;
    }
    return any;
}

bool CTreeClump::breakElements(CCollisionHierarchy* pHierarchy, CGameObject* pOther)
{
    const STreeSettings& t = trees();
    bool any = false;
    uint32_t id = 0;
    pHierarchy->beginHits();
    for (int32_t hit; (hit = pHierarchy->nextHit(&id)) >= 0;) {
        const int current = d_pClump->GetElementState(id);
        const int target = (current == t.burntstate || current == t.burnttrunkstate) ? t.burnttrunkstate : t.trunkstate;
        Element& e = d_pElements[id];
        if (target != current) setState(id, target, &e.centre, true);
        e.health = 0;
        if (pOther->GetType() == TYPE_PLAYER_VEHICLE) {
            // The vehicle pushes through the wreck for a moment before it stops counting.
            if (e.action == ACTION_DYING)
                e.actionStart = sampleparts::gameTime();
            else
                startAction(id, ACTION_DYING);
        } else {
            pHierarchy->setHitEnabled(hit, false);
        }
        any = true;
    }
    return any;
}

bool CTreeClump::treeShot(CCollisionHierarchy* pHierarchy, CGameObject* pOther)
{
    const STreeSettings& t = trees();
    CClumpType* pType = type();
    auto* pWeapon = static_cast<WeaponElementInstance*>(pOther);
    const float damage = treeDamageOn() ? pWeapon->getDamage() : 0.0f;
    const bool sets_alight =
        (pType->flags & CClumpType::FLAG_FLAMMABLE) && pWeapon->getFireRecord().strength > 0.0f;
    bool handled = false;
    uint32_t id = 0;
    Vector3 point;
    pHierarchy->beginHits();
    for (int32_t hit; (hit = pHierarchy->nextHit(&id, &point)) >= 0;) {
        Element& e = d_pElements[id];
        const int current = d_pClump->GetElementState(id);
        if (sets_alight && current != t.burntstate) {
            if (startBurning(id)) {
                handled = true;
            } else {
                setState(id, t.burntstate, &point, true);
                handled = handled || pType->objectType != MODE_NONE;
            }
            continue;
        }
        if (pType->objectType == MODE_NONE) {
            pHierarchy->setHitEnabled(hit, false);
            continue;
        }
        if (e.action == ACTION_BURNING) {
            handled = true;
            continue;
        }
        e.health = static_cast<int32_t>(static_cast<float>(e.health) - damage);
        int target;
        if (current == t.burntstate) {
            // Burnt but standing: the rest of the shot is spent on it.
            if (e.health > 0) return true;
            target = t.burnttrunkstate;
        } else if (current == t.burnttrunkstate) {
            target = current;
        } else {
            target = e.health < 1 ? t.trunkstate
                     : e.health < static_cast<int32_t>(pType->health) / 2 ? t.shottwicestate
                                                                          : t.shotoncestate;
        }
        if (target == current) return true;
        // The states in between show their effects on the way down.
        int state = current;
        for (int steps = 0; state != target;) {
            const int next = state == t.normalstate       ? t.shotoncestate
                             : state == t.shotoncestate   ? t.shottwicestate
                             : state == t.shottwicestate  ? t.trunkstate
                             : state == t.burntstate      ? t.burnttrunkstate
                                                          : -1;
            if (next < 0) {
                assertFailedMsg("Bad clump state change", "0", __FILE__, __LINE__);
                break;
            }
            if (++steps > MAX_LADDER_STEPS) {
                assertFailedMsg("The tree-shot poocounter has been triggered", "poocount < 10", __FILE__, __LINE__);
                break;
            }
            state = next;
            if (state != target && d_pClump->d_pManager) d_pClump->d_pManager->SetTypeState(getClumpTypeIndex(), state, point);
        }
        if (target == t.trunkstate || target == t.burnttrunkstate) {
            if (d_pTreeElements && !(pType->flags & CClumpType::FLAG_TILT)) orient(id, Quaternion());
            pHierarchy->setHitEnabled(hit, false);
        }
        setState(id, target, &point, true);
        handled = true;
    }
    return handled;
}

// ---- Actions ----

bool CTreeClump::startAction(uint32_t id, uint8_t action)
{
    Element& e = d_pElements[id];
    if (e.action != ACTION_NONE) return false;
    e.action = action;
    e.actionStart = sampleparts::gameTime();
    d_actions.push_back(id);
    return true;
}

void CTreeClump::computeFallen(uint32_t id, const Vector3& contact)
{
    const CModelInst* pInst = d_pClump->d_pClump->GetElement(id)->pModelInst;
    const Vector3 base = positionOf(pInst);
    Vector3 away = base - contact;
    const float length2 = away.lengthSquared();
    away = isValidFloat(length2) && length2 >= 1e-6f ? away / std::sqrt(length2) : Vector3(1.0f, 0.0f, 0.0f);
    Vector3 normal;
    sampleparts::groundHeight(base.x, base.y, &normal);
    Vector3 along;
    if (!acrossNormal(away, normal, &along) && !acrossNormal(Vector3(1.0f, 0.0f, 0.0f), normal, &along))
        acrossNormal(Vector3(0.0f, 1.0f, 0.0f), normal, &along);
    // The trunk turns over about its base until it lies along the ground.
    Matrix3 upright, fallen;
    quatToMatrix3(d_pTreeElements[id].upright, upright);
    Vector3 trunk;
    upright.getRow1(2, trunk);
    Matrix3::multiply(fallen, upright, turnOnto(trunk, along));
    matrix3ToQuat(fallen, d_pTreeElements[id].fallenOrientation);
}

void CTreeClump::orient(uint32_t id, const Quaternion& orientation)
{
    CClumpElementData* pData = d_pClump->d_pClump->GetElement(id);
    if (!pData || !pData->pModelInst) return;
    Matrix3 m;
    quatToMatrix3(orientation, m);
    for (int i = 0; i < 9; ++i)
        if (!VERIFY(isValidFloat(m.element(i)))) return;
    for (int i = 0; i < 9; ++i) pData->pModelInst->m_transform.Rotation[i] = m.element(i);
    d_pClump->d_pClump->RefreshElement(id, CClumpInstance::COPY_MASK_DEFAULT);
}

bool CTreeClump::startFalling(uint32_t id, const Vector3& contact)
{
    if (d_pElements[id].action != ACTION_NONE) return false;
    computeFallen(id, contact);
    d_pTreeElements[id].fallen = 1;
    CClumpType* pType = type();
    const Vector3 at = positionOf(d_pClump->d_pClump->GetElement(id)->pModelInst);
    if (CClumpManager* pManager = d_pClump->d_pManager) {
        if (pType->fallSound != CClumpType::NO_SOUND)
            pManager->PlayClumpSound(pType->fallSound, at, pType->soundVolume, pType->soundMinDistance, nullptr);
        pManager->SetTypeState(getClumpTypeIndex(), 1, at);
    }
    return startAction(id, ACTION_FALLING);
}

bool CTreeClump::startBurning(uint32_t id)
{
    Element& e = d_pElements[id];
    if (e.action != ACTION_NONE || e.health < 1 || CGameTree::s_numBurning >= CGameTree::s_burningLimit) return false;
    setState(id, trees().burntstate, nullptr, true);
    setCollidable(id, false);
    if (WeaponDescription* pFire = type()->pFireWeapon) {
        const Vector3 at = positionOf(d_pClump->d_pClump->GetElement(id)->pModelInst);
        pFire->FireAtObject(at, at + Vector3(0.1f, 0.1f, 10.0f));
        for (int i = 0; i < 4; ++i) pFire->Update(CClumpManager::FIRE_WEAPON_STEP_MS);
    }
    startAction(id, ACTION_BURNING);
    ++CGameTree::s_numBurning;
    return true;
}

void CTreeClump::stepActions()
{
    const uint32_t now = sampleparts::gameTime();
    std::vector<uint32_t> running;
    for (uint32_t id : d_actions) {
        Element& e = d_pElements[id];
        const uint32_t t = now - e.actionStart;
        bool done = false;
        switch (e.action) {
        case ACTION_FALLING: {
            Quaternion q = d_pTreeElements[id].fallenOrientation;
            if (t < FALL_MS) quatSlerp(d_pTreeElements[id].upright, q, static_cast<float>(t) * 0.001f, q);
            orient(id, q);
            done = t > FALL_MS;
            break;
        }
        case ACTION_BURNING:
            if ((done = t > BURN_MS)) {
                e.health = 1;
                // A reset may have cleared the count under a running burn.
                if (VERIFY_MSG(CGameTree::s_numBurning > 0, "s_numBurning > 0")) --CGameTree::s_numBurning;
                setCollidable(id, true);
            }
            break;
        case ACTION_DYING:
            if ((done = t > DYING_MS)) setCollidable(id, false);
            break;
        case ACTION_NONE:
            assertFailedMsg("Inconsistency in clump action list", "0", __FILE__, __LINE__);
            done = true;
            break;
        default:
            assertFailedMsg("Invalid clump action", "0", __FILE__, __LINE__);
            done = true;
            break;
        }
        if (done)
            e.action = ACTION_NONE;
        else
            running.push_back(id);
    }
    d_actions.swap(running);
}

bool CTreeClump::think(int ms)
{
    d_ripplePhase += (trees().ripplespeedfactor + 0.001f) * static_cast<float>(ms);
    return false;
}

// ---- Drawing ----

bool CTreeClump::swayShear(const STreeSettings& t, float x, float y, float depth, float phase, float secondFadeNear,
                           float secondFadeFar, float* pSx, float* pSy)
{
    const float mid = (secondFadeFar + secondFadeNear) * 0.5f;
    if (!(depth <= mid)) return false;
    const float a = t.rippleamplitude * std::sin(t.ripplesinfactor * phase) * std::cos(t.ripplecosfactor * phase);
    const float amp = depth <= secondFadeNear ? a : a * (mid - depth) / (mid - secondFadeNear);
    *pSx = std::sin(x * t.ripplephasefactor + phase) * amp;
    *pSy = std::cos(y * t.ripplephasefactor + phase) * amp;
    return true;
}

namespace {

void tint(const std::vector<DWORD>& blocks, const uint32_t rgb[3])
{
    for (DWORD block : blocks) SetTextureFactorRGB(block, rgb[0], rgb[1], rgb[2]);
}

}  // namespace

void CTreeClump::render()
{
    if (!d_active || !d_pClump || !d_pClump->d_pClump) return;
    stepActions();
    CClumpType* pType = type();
    CModelClump* pModelClump = d_pClump->d_pClump;
    const CClumpManager* pManager = d_pClump->d_pManager;
    if (!pType || !pManager) return;
    // The clump's colour, plain grey or what the light effects give its centre, tints the materials
    // of its combined mesh.
    uint32_t colour = 0x808080;
    if ((pType->flags & CClumpType::FLAG_LANDSCAPE_LIT) && CGameTree::s_pLightColourAt)
        colour = CGameTree::s_pLightColourAt(pModelClump->GetCentre());
    const uint32_t clumpRgb[3] = {colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF};
    std::vector<DWORD> blocks;
    if (const HWDynamicMeshObject* pMesh = pModelClump->GetMeshObject()) {
        blocks.resize(pMesh->GetStateBlocks(nullptr, 0));
        pMesh->GetStateBlocks(blocks.data(), static_cast<uint32_t>(blocks.size()));
    }
    tint(blocks, clumpRgb);
    // The type's distances where it gives them, else the level's.
    auto resolve = [](float own, float fallback) { return own > 0.0f ? own : fallback; };
    const float fadeFar = resolve(pType->fadeFar, pManager->d_defaultFadeFar);
    const float fadeNear = resolve(pType->fadeNear, pManager->d_defaultFadeNear);
    const float secondFar = resolve(pType->secondFadeFar, pManager->d_defaultSecondFadeFar);
    const float secondNear = resolve(pType->secondFadeNear, pManager->d_defaultSecondFadeNear);
    pModelClump->m_fadeNear = fadeNear;
    pModelClump->m_fadeFar = fadeFar;
    pModelClump->m_visibilityType = 3;
    L3SphereInFrustum(pModelClump->GetCentre(), pModelClump->GetRadius(), true);
    const float depth = L3Scene.lastDepth;
    bool drawn = false;
    pModelClump->Render(0.0f, true, &drawn);
    if (!drawn || !pModelClump->m_alphaPermitted || !(depth - pModelClump->GetRadius() < secondFar)) return;

    // Near, each element is drawn over the combined mesh at full detail in its own colour, fading
    // in over the second range; the swaying kinds sheared, their own matrices back afterwards.
    const bool sways = (pType->flags & CClumpType::FLAG_SWAYS) != 0;
    for (uint32_t i = 0; i < pModelClump->GetNumElements(); ++i) {
        const CClumpElementData* pData = pModelClump->GetElement(i);
        CModelInst* pInst = pData->pModelInst;
        CModel* pModel = pData->pModelList[pData->currentState] ? pData->pModelList[pData->currentState]
                                                                 : pData->pModelList[0];
        if (!pInst || !pModel || !pModel->GetRootLodModel(0)) continue;
        blocks.clear();
        CollectStateBlocks(pModel->GetRootLodModel(0), blocks);
        const uint32_t rgb[3] = {pData->colour[0] * clumpRgb[0] / 256, pData->colour[1] * clumpRgb[1] / 256,
                                 pData->colour[2] * clumpRgb[2] / 256};
        tint(blocks, rgb);
        pModel->m_fadeNear = secondNear;
        pModel->m_fadeFar = secondFar;
        const Vector3 at = positionOf(pInst);
        float sx = 0.0f, sy = 0.0f;
        if (!sways || !swayShear(trees(), at.x, at.y, depth, d_ripplePhase, secondNear, secondFar, &sx, &sy)) {
            pModel->Render(pInst, 0);
            continue;
        }
        const MeshTransform kept = pInst->m_transform;
        Matrix3 shear, m = rotationOf(pInst);
        shear.setRow2(2, sx, sy, 1.0f);
        Matrix3::multiply(m, m, shear);
        for (int k = 0; k < 9; ++k) pInst->m_transform.Rotation[k] = m.element(k);
        pModel->Render(pInst, 0);
        pInst->m_transform = kept;
    }
}

// ---- Level restarts and saved states ----

void CTreeClump::reset()
{
    CGameTree::s_numBurning = 0;
    d_actions.clear();
    CClumpType* pType = type();
    if (!pType || !d_pElements) return;
    for (uint32_t i = 0; i < d_numElements; ++i) {
        d_pElements[i].health = static_cast<int32_t>(pType->health);
        d_pElements[i].action = ACTION_NONE;
        if (d_pTreeElements) {
            d_pTreeElements[i].fallen = 0;
            orient(i, d_pTreeElements[i].upright);
        }
        d_pClump->SetElementState(i, static_cast<uint32_t>(trees().normalstate), nullptr, true);
        CClumpElementData* pData = d_pClump->d_pClump->GetElement(i);
        if (pData && !(pType->flags & CClumpType::FLAG_SUNLIT))
            pData->ScaleColour(pData->colour[0] / 255.0f, pData->colour[1] / 255.0f, pData->colour[2] / 255.0f);
    }
    if (pCollisionObject && pCollisionObject->getCollisionType() == Collision::COLLISION_SIMPLE_HIERARCHY)
        static_cast<CCollisionHierarchy*>(pCollisionObject)->enableAll();
}

CParamBlock* CTreeClump::saveState()
{
    CClumpType* pType = type();
    if (!pType || !d_pElements) return nullptr;
    CParamBlock* pBlock = nullptr;
    for (uint32_t i = 0; i < d_numElements; ++i) {
        const int state = d_pClump->GetElementState(i);
        const int fallen = d_pTreeElements ? d_pTreeElements[i].fallen : 0;
        const int32_t health = d_pElements[i].health;
        if (health == static_cast<int32_t>(pType->health) && state == trees().normalstate && !fallen) continue;
        if (!pBlock) pBlock = new CParamBlock;
        char name[16], value[48];
        std::snprintf(name, sizeof name, "Elem%04u", i);
        std::snprintf(value, sizeof value, "%d %d %d", health, fallen, state);
        pBlock->addString(name, value);
    }
    return pBlock;
}

bool CTreeClump::restoreState(CParamBlock* pBlock)
{
    if (!pBlock || !d_pElements) return false;
    const STreeSettings& t = trees();
    for (uint32_t i = 0; i < d_numElements; ++i) {
        char name[16], value[MAX_STATE_TEXT + 1];
        std::snprintf(name, sizeof name, "Elem%04u", i);
        const int size = pBlock->parseStringGetSize(name);
        if (size <= 0) continue;
        if (size - 1 > static_cast<int>(MAX_STATE_TEXT)) {
            assertFailedMsg("Clump state string too long", "0", __FILE__, __LINE__);
            continue;
        }
        pBlock->parseString(name, value);
        int32_t numbers[3] = {};
        const CClumpElementData* pData = d_pClump->d_pClump->GetElement(i);
        if (!parseIntegers(value, numbers) || !pData || numbers[2] < 0 || numbers[2] >= pData->numStates) {
            assertFailedMsg("Bad clump state string", "0", __FILE__, __LINE__);
            continue;
        }
        const int32_t health = numbers[0], fallen = numbers[1], state = numbers[2];
        d_pElements[i].health = health;
        setState(i, state, nullptr, false);
        if (state == t.trunkstate || state == t.burnttrunkstate) setCollidable(i, false);
        if (!d_pTreeElements) continue;
        d_pTreeElements[i].fallen = fallen != 0;
        if (!fallen) continue;
        const float a = static_cast<float>(crtRand() % 1000) * TWO_PI_THOUSANDTHS;
        computeFallen(i, d_pElements[i].centre + Vector3(std::sin(a), std::cos(a), 0.0f));
        orient(i, d_pTreeElements[i].fallenOrientation);
    }
    return true;
}
