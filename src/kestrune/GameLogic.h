// CGameLogic: the game's rules and object world of a session. The project data creates it at session
// start and shuts it down before the device goes.
#pragma once

#include "platform/win32.h"

class CGameObjectManager;

class CGameLogic {
public:
    explicit CGameLogic(HWND mainWindow);
    ~CGameLogic();
    CGameLogic(const CGameLogic&) = delete;
    CGameLogic& operator=(const CGameLogic&) = delete;

    void shutdown();
    // None until the object manager joins the game logic.
    CGameObjectManager* getObjectManager() const { return nullptr; }
    HWND getMainWindow() const { return m_mainWindow; }
    bool isShutDown() const { return m_shutDown; }

private:
    HWND m_mainWindow;
    bool m_shutDown;
};
