// CClumpInstance: one clump of a clump type, its elements drawn by one model clump. It switches
// elements between their states and starts the side effects of a change: the state's particle
// effect and sound. Made and owned by the clump manager (ClumpManager.h).
#pragma once

#include <cstdint>

class CClumpManager;
class CModelClump;
class CModelInst;
struct CClumpType;
struct Vector3;

class CClumpInstance {
public:
    // Vertex parts a state change copies: position, normal, textures and the flag 8 the mesh code
    // passes through; the colours stay the element's own unless the sun relights them.
    static constexpr uint32_t COPY_MASK_DEFAULT = 27;
    static constexpr uint32_t COPY_MASK_ALL = 31;
    static constexpr uint32_t COPY_MASK_DIFFUSE = 4;
    static constexpr uint8_t NO_STATE = 0xFF;

    CClumpInstance() = default;
    // The model clump and every element's model instance go.
    ~CClumpInstance();
    CClumpInstance(const CClumpInstance&) = delete;
    CClumpInstance& operator=(const CClumpInstance&) = delete;

    // SetElementStateEx with COPY_MASK_ALL.
    bool SetElementState(uint32_t elementId, uint32_t state, const Vector3* pPosition, bool play);
    // The element's mesh to the state (relit by the sun first for FLAG_SUNLIT types); with play the
    // state's effect starts at the position (the element's when none) and its sound plays at the
    // element. False after a failed check.
    bool SetElementStateEx(uint32_t elementId, uint32_t state, uint32_t copyMask, const Vector3* pPosition,
                           bool play);
    // NO_STATE after a failed check.
    uint8_t GetElementState(uint32_t elementId) const;
    CClumpType* GetClumpType() const;

    CModelInst** d_ppModelInst = nullptr;  // d_numInstances of them, owned
    uint32_t d_numInstances = 0;
    CModelClump* d_pClump = nullptr;  // owned
    CClumpManager* d_pManager = nullptr;
    uint32_t d_clumpType = 0;
};
