// CNodeManager: the network node of a networked session. This build has no network transport, so
// a node never connects; the project data creates one only when networking is enabled.
#pragma once

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

private:
    bool m_synchronised;
};
