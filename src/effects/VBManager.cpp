#include "effects/VBManager.h"

#include "d3dcore9/DXWrappers.h"
#include "global/ProjData.h"
#include "utility/Assert.h"

#include <cstddef>
#include <new>

CVBManager* pTheVBManager = nullptr;

void registerVBManagerMaker()
{
    static const SProjDataVBManagerMaker maker = {[]() -> CVBManager* { return new (std::nothrow) CVBManager; },
                                                  [](CVBManager* pManager) { delete pManager; }};
    setProjDataVBManagerMaker(&maker);
}

CVBManager::CVBManager()
{
    // The callbacks serve whichever manager is current: one replaced gives them up, so no buffer
    // is made twice.
    if (pTheVBManager) {
        D3DCore.UnregisterFunc(pTheVBManager->m_releaseHandle);
        D3DCore.UnregisterFunc(pTheVBManager->m_restoreHandle);
        pTheVBManager->m_releaseHandle.Index = pTheVBManager->m_restoreHandle.Index = -1;
    }
    m_releaseHandle = D3DCore.RegisterFunc(0, OnRelease);
    m_restoreHandle = D3DCore.RegisterFunc(1, OnRestore);
    ASSERT(pTheVBManager==NULL);
    pTheVBManager = this;
}

CVBManager::~CVBManager()
{
    if (m_releaseHandle.Index >= 0) D3DCore.UnregisterFunc(m_releaseHandle);
    if (m_restoreHandle.Index >= 0) D3DCore.UnregisterFunc(m_restoreHandle);
    if (pTheVBManager == this) pTheVBManager = nullptr;
    for (TBufferGroup& group : m_groups) {
        for (uint32_t i = 0; i < group.count; ++i) {
            DXReleaseInterface(group.pBuffers[i]);
            Remove(&group.pBuffers[i]);
        }
        delete[] group.pBuffers;
    }
    m_groups.clear();
    m_records.clear();
}

bool CVBManager::Register(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** pPlace)
{
    if (!VERIFY(pPlace)) return false;
    m_records.push_back(TBufferRecord{length, usage, fvf, pool, pPlace});
    return true;
}

void CVBManager::Remove(IDirect3DVertexBuffer9** pPlace)
{
    for (size_t i = 0; i < m_records.size(); ++i)
        if (m_records[i].pPlace == pPlace) {
            m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    ASSERT(false);
}

IDirect3DVertexBuffer9* const* CVBManager::CreateGroup(uint32_t count, UINT length, DWORD usage, DWORD fvf,
                                                        D3DPOOL pool)
{
    IDirect3DVertexBuffer9** pBuffers = new (std::nothrow) IDirect3DVertexBuffer9*[count]();
    if (!pBuffers) return nullptr;
    for (uint32_t i = 0; i < count; ++i)
        if (FAILED(DXCreateVertexBuffer(length, usage, fvf, pool, &pBuffers[i]))) {
            for (uint32_t j = 0; j < i; ++j) DXReleaseInterface(pBuffers[j]);
            delete[] pBuffers;
            return nullptr;
        }
    for (uint32_t i = 0; i < count; ++i) Register(length, usage, fvf, pool, &pBuffers[i]);
    m_groups.push_back(TBufferGroup{pBuffers, count});
    return pBuffers;
}

void CVBManager::ReleaseAll()
{
    for (TBufferRecord& record : m_records) DXReleaseInterface(*record.pPlace);
}

void CVBManager::RestoreAll()
{
    for (TBufferRecord& record : m_records) {
        DXReleaseInterface(*record.pPlace);
        const HRESULT hr = DXCreateVertexBuffer(record.length, record.usage, record.fvf, record.pool, record.pPlace);
        ASSERT(SUCCEEDED(hr));
    }
}

void CVBManager::OnRelease()
{
    if (pTheVBManager) pTheVBManager->ReleaseAll();
}

void CVBManager::OnRestore()
{
    if (pTheVBManager) pTheVBManager->RestoreAll();
}
