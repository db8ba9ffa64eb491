#include "kestrune/GameLogic.h"

CGameLogic::CGameLogic(HWND mainWindow) : m_mainWindow(mainWindow), m_shutDown(false) {}

CGameLogic::~CGameLogic() {}

void CGameLogic::shutdown() { m_shutDown = true; }
