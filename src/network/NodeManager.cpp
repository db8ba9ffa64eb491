#include "network/NodeManager.h"

#include <algorithm>

CNodeManager::CNodeManager() : m_synchronised(false), m_host(false) {}
bool CNodeManager::init() { return false; }
bool CNodeManager::contactServer() { return false; }
bool CNodeManager::contactTest() { return false; }
bool CNodeManager::synchroniseTime() { return false; }
void CNodeManager::stop() {}
void CNodeManager::release() { m_objects.clear(); }

// Owner and id are given out by the session; without a transport there is none to record.
void CNodeManager::addObject(CNetObject* pObject, int32_t, int32_t) { m_objects.push_back(pObject); }

void CNodeManager::removeObject(CNetObject* pObject)
{
    auto it = std::find(m_objects.begin(), m_objects.end(), pObject);
    if (it != m_objects.end()) m_objects.erase(it);
}

bool CNodeManager::hasObject(const CNetObject* pObject) const
{
    return std::find(m_objects.begin(), m_objects.end(), pObject) != m_objects.end();
}
