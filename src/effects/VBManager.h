// CVBManager: the effects' vertex-buffer manager. One exists while the project data holds it.
#pragma once

class CVBManager;
extern CVBManager* pTheVBManager;

class CVBManager {
public:
    CVBManager();
    ~CVBManager();
    CVBManager(const CVBManager&) = delete;
    CVBManager& operator=(const CVBManager&) = delete;
};
