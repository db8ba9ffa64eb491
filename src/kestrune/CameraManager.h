// CCameraManager: the game's cameras and which of them is looking. Until the game's own cameras
// exist, the one fixed view the game draws the level from is camera 0, placed and made current as
// a level loads; before the first level none is current (NO_CAMERA).
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

// The fixed view: from above the demo's ground towards its middle.
inline const Vector3 LEVEL_CAMERA_POSITION(2300.0f, 3300.0f, 900.0f);
inline const Vector3 LEVEL_CAMERA_TARGET(3650.0f, 3300.0f, 250.0f);

class CCameraManager {
public:
    static constexpr uint16_t NO_CAMERA = 65535;
    static constexpr uint16_t MAX_CAMERAS = 4;

    CCameraManager() : m_currentCamera(NO_CAMERA), m_positions{} {}

    uint16_t getCurrentCamera() const { return m_currentCamera; }
    // False when no camera is current.
    bool getCurrentCameraPosition(Vector3* pPosition) const
    {
        if (m_currentCamera >= MAX_CAMERAS) return false;
        *pPosition = m_positions[m_currentCamera];
        return true;
    }
    // Places a camera and makes it the one looking; an index past the cameras is ignored.
    void setCurrentCamera(uint16_t index, const Vector3& position)
    {
        if (index >= MAX_CAMERAS) return;
        m_positions[index] = position;
        m_currentCamera = index;
    }

private:
    uint16_t m_currentCamera;
    Vector3 m_positions[MAX_CAMERAS];
};
