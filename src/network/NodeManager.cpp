#include "network/NodeManager.h"

CNodeManager::CNodeManager() : m_synchronised(false) {}
bool CNodeManager::init() { return false; }
bool CNodeManager::contactServer() { return false; }
bool CNodeManager::contactTest() { return false; }
bool CNodeManager::synchroniseTime() { return false; }
void CNodeManager::stop() {}
void CNodeManager::release() {}
