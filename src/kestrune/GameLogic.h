// CGameLogic: the game's rules and object world of a session. The project data creates it at session
// start and shuts it down before the device goes. It owns the object manager of the loaded level.
#pragma once

#include "gameobjects/ObjectManagerInterfaces.h"
#include "kestrune/CameraManager.h"
#include "platform/win32.h"

#include <string>
#include <vector>

class CGameObjectManager;
class CResourceManager;
class GameInfo;

class CGameLogic : public CGameLogicLink {
public:
    explicit CGameLogic(HWND mainWindow);
    ~CGameLogic() override;
    CGameLogic(const CGameLogic&) = delete;
    CGameLogic& operator=(const CGameLogic&) = delete;

    // Unloads the level.
    void shutdown();

    // Loads a level: game time from 0, the profiler started, the object manager with the level's
    // resource managers, the event wiring, the world's draw hooks, with a device the light effects,
    // the cloud layer and the fog banks the level names (and the level's models loaded as one
    // batch), the objects of the instantiation script, one update to settle them and, on a campaign
    // level, the chapter's saved state. False when the script cannot be read (the level stays
    // loaded, without objects).
    bool loadLevel(const char* instanceScript);
    // Releases every object, then the object manager with its resource managers, then the wiring,
    // and stops the profiler. A completed campaign mission first leaves its state to the next
    // mission of the chapter.
    void unloadLevel();
    // Plays the loaded level again from its start; false without a level or script.
    bool restartLevel();
    // The mission the next level load plays: campaign levels read the chapter's saved state and,
    // while deletions are tracked, save theirs for the next mission.
    void setMission(int chapter, int mission, bool campaign, bool trackDeletions = true);
    // Set when the level is left without the mission counting as played through: nothing is saved.
    void setNoStateSave(bool noSave) { m_noStateSave = noSave; }
    // The object types that live on through a restart.
    void setRestartKeepTypes(const std::vector<uint32_t>& types) { m_restartKeepTypes = types; }
    bool isLevelLoaded() const { return theObjectManager != nullptr; }
    // A further resource manager for the next level load, registered before the game's own so that
    // it stands in for the game's manager of its id; the game logic owns it from now on (a second
    // manager of one id is destroyed).
    void addLevelManager(CResourceManager* pManager);

    // One fixed game step, while the game runs: the objects' update, then, while the objects run, the
    // event wiring's step and the world's, then the light effects' fades.
    void fixedStep();
    // The rest of the game frame, with a level loaded: the objects' interpolation factor once the
    // frame's fixed steps are run, the objects by render group while a player's view is drawn, and
    // the render list after the scene. A player's view also draws the fog banks and the light maps.
    void afterFixedSteps();
    // After the device was reset: every resource manager rebuilds what it had on the device (the
    // running effects come back under their handles).
    void deviceReset();
    void renderView();
    void renderAfterScene();
    CCameraManager& getCameraManager() { return m_cameraManager; }

    CGameObjectManager* getObjectManager() const { return theObjectManager; }
    GameInfo* getGameInfo() const { return m_pGameInfo; }
    HWND getMainWindow() const { return m_mainWindow; }
    bool isShutDown() const { return m_shutDown; }

    // What the object manager needs of the game.
    void applyPlayerView() override {}
    CGameObject* createGameInfo() override;
    bool isGameInfoFlagSet() override;

    CGameObjectManager* theObjectManager;

private:
    void registerLevelManagers();

    HWND m_mainWindow;
    bool m_shutDown;
    GameInfo* m_pGameInfo;
    CCameraManager m_cameraManager;
    std::vector<CResourceManager*> m_levelManagers;
    std::string m_instanceScript;
    int m_chapter;
    int m_mission;
    bool m_campaign;
    bool m_trackDeletions;
    bool m_noStateSave;
    std::vector<uint32_t> m_restartKeepTypes;
};

// How the world reaches the level's objects: the tree clumps and the object manager's part of a
// restart. The game hands it to every world manager it makes.
struct SWorldObjectHooks;
extern const SWorldObjectHooks levelObjectHooks;
