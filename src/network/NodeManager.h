// CNodeManager: the network node of a networked session. This build has no network transport, so
// a node never connects; the project data creates one only when networking is enabled.
#pragma once

#include <cstdint>
#include <vector>

class CNetObject;

class CNodeManager {
public:
    CNodeManager();
    bool init();
    bool contactServer();
    bool isSynchronised() const { return m_synchronised; }
    bool contactTest();
    bool synchroniseTime();
    void stop();
    void release();
    void* getSession() { return nullptr; }

    // Set on the machine that runs the simulation.
    bool isHost() const { return m_host; }
    void setHost(bool host) { m_host = host; }

    // The objects known to the network: made objects are added, deleted ones removed.
    void addObject(CNetObject* pObject, int32_t owner, int32_t id);
    void removeObject(CNetObject* pObject);
    bool hasObject(const CNetObject* pObject) const;
    uint32_t getNumObjects() const { return static_cast<uint32_t>(m_objects.size()); }

private:
    bool m_synchronised;
    bool m_host;
    std::vector<CNetObject*> m_objects;
};
