// CGameTree: the level's trees, bushes and other clump dressing as game objects. It owns the one
// clump manager of the level and makes one CTreeClump (TreeClump.h) per clump of the level's clump
// file, named "Clump_<type>_<clump>", and keeps their handles for resets.
//
//   CGameTree::loadTreeClumps("data\\clumps\\level.clump", highDetail);  // object managers up
//   each frame: CGameTree::frameStep();
//   on a restart, before the saved state: CGameTree::resetAll();
//   after the level's objects are gone: CGameTree::unload();
//
// Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CClumpManager;
struct Vector3;

class CGameTree {
public:
    static constexpr int32_t BURNING_LIMIT_HIGH = 64;
    static constexpr int32_t BURNING_LIMIT = 24;
    static constexpr float DEFAULT_FADE_FAR = 6000.0f;
    static constexpr float DEFAULT_FADE_NEAR = 5000.0f;
    static constexpr float DEFAULT_SECOND_FADE_FAR = 2000.0f;
    static constexpr float DEFAULT_SECOND_FADE_NEAR = 1500.0f;

    // False for an empty or missing name and a file that does not load ("Failed to load clumps
    // file (non-fatal)"); whatever was loaded before goes first.
    static bool loadTreeClumps(const char* pFileName, bool highDetail);
    // The clump manager's data and the manager go; the tree clumps must be gone already.
    static void unload();
    // Every tree clump back to its level-start state.
    static void resetAll();
    // The flammable types' fire weapons stepped.
    static void frameStep();

    static CClumpManager* getClumpManager() { return d_pClumpManager; }
    // The clump file the tree clumps came from ("" when none is loaded), for reports about them.
    static const char* getFileName() { return d_pClumpManager ? s_fileName.c_str() : ""; }
    static const std::vector<uint32_t>& getTreeClumps() { return s_treeClumps; }

    // Elements burning now, and how many may.
    static int32_t s_numBurning;
    static int32_t s_burningLimit;
    // The colour (0x00RRGGBB) the light effects give a point, for the clumps they tint; none until the
    // game installs it (those clumps are then plain grey).
    static uint32_t (*s_pLightColourAt)(const Vector3& point);

private:
    static CClumpManager* d_pClumpManager;
    static std::string s_fileName;
    static std::vector<uint32_t> s_treeClumps;  // handles, in creation order
};
