// CVBManager: keeps the effects' vertex buffers alive across a device reset (pTheVBManager, made
// and destroyed through the project data). It remembers how each registered buffer was made and
// where its handle is kept, releases every one when the render core releases its device resources
// and makes each again when they are restored.
#pragma once

#include "d3dcore9/D3DCore.h"

#include <cstdint>
#include <vector>

class CVBManager;
extern CVBManager* pTheVBManager;

// Hands the project data how to make and free the manager; called before createVBManager.
void registerVBManagerMaker();

class CVBManager {
public:
    CVBManager();
    // Releases the buffers of every group; the other records are forgotten, their buffers left to
    // their holders.
    ~CVBManager();
    CVBManager(const CVBManager&) = delete;
    CVBManager& operator=(const CVBManager&) = delete;

    // Remembers a buffer made with these values whose handle is kept at *pPlace; the place must
    // outlive the record.
    bool Register(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** pPlace);
    // Forgets the record of that place (an unknown place is reported).
    void Remove(IDirect3DVertexBuffer9** pPlace);
    // Makes count buffers owned by the manager, each registered; their handles, or null when one
    // cannot be made (nothing is kept then).
    IDirect3DVertexBuffer9* const* CreateGroup(uint32_t count, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);

    // Device released: every recorded buffer released and its place set to 0, in record order.
    void ReleaseAll();
    // Device restored: every recorded buffer made again into its place, in record order.
    void RestoreAll();

    uint32_t GetNumRecords() const { return static_cast<uint32_t>(m_records.size()); }

private:
    struct TBufferRecord {
        UINT length;
        DWORD usage;
        DWORD fvf;
        D3DPOOL pool;
        IDirect3DVertexBuffer9** pPlace;
    };
    struct TBufferGroup {
        IDirect3DVertexBuffer9** pBuffers;
        uint32_t count;
    };
    static void OnRelease();
    static void OnRestore();

    D3DCoreFuncHandle m_releaseHandle;
    D3DCoreFuncHandle m_restoreHandle;
    std::vector<TBufferRecord> m_records;
    std::vector<TBufferGroup> m_groups;
};
