// The render façade: how the game starts and stops rendering, begins, ends and presents frames, and
// sets the camera, viewport and projection. It owns the scene core, the one set of camera and
// projection values every model draw of a frame shares: the sphere-in-frustum test, fading by
// distance, the LOD scale and the conversions between world, screen and view-window coordinates.
//
// Order: L3Init -> L3CreateDevice -> frames (L3BeginScene; per viewport L3ApplyViewportSettings, a
// camera, draws; L3EndScene; L3Present) -> L3DestroyDevice -> L3Shutdown. Main thread only.
//
// View axes: the camera looks along the first column of the view rotation; the second column is the
// view window's horizontal axis (pointing left), the third its vertical axis (pointing up).
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

class CModel;

// What a camera hands over for each viewport.
struct ViewportSettings {
    ViewportSettings()
        : aspectType(0), aspectRatio(0), x(0), y(0), width(0), height(0), fov(0), nearZ(0), farZ(0), orthographic(0),
          screenAspect(0), fullViewport(0), unused(0)
    {
    }

    uint32_t aspectType;  // the screen's shape: 0 4:3, 1 16:9
    float aspectRatio;    // the picture's width over its height
    int32_t x, y, width, height;
    float fov;  // the view window's height at the near distance
    float nearZ, farZ;
    uint8_t orthographic;
    uint8_t screenAspect;  // the picture takes the viewport's shape on the screen
    uint8_t fullViewport;  // no letterbox: the whole viewport is drawn
    uint8_t unused;
};
static_assert(sizeof(ViewportSettings) == 40);

// The values of the scene core. Read freely; set through the functions below.
struct L3SceneState {
    Vector3 cameraPosition;
    float cameraAngles[3] = {};
    Matrix4 viewRotation;  // columns: depth, horizontal and vertical axes
    float nearZ = 0, farZ = 0, viewWidth = 0, viewHeight = 0;
    float sinHorizontal = 0, cosHorizontal = 1, sinVertical = 0, cosVertical = 1;
    float lodScale = 0;
    bool orthographic = false;
    float minVisZ = 0, maxVisZ = 0;
    bool fading = false;
    float lastDepth = 0;  // of the last frustum test: the model draw fades and picks its LOD by it
    int32_t renderQuality = 0;
    // Model draws of this frame.
    uint32_t drawsAttempted = 0, drawsDone = 0, drawsSkipped = 0;
    uint32_t aspectMode = 0;
    float aspectRatio = 0;
};
extern const L3SceneState& L3Scene;

// ---- Start and stop ----
// The material library and the model classes; the effects cull by this frustum from now on.
bool L3Init();
// The device over the material library, the default perspective, the model and light managers.
bool L3CreateDevice(bool multiThreaded, bool vSync, int32_t interval);
void L3DestroyDevice();
void L3Shutdown();

// ---- Frames ----
int32_t L3BeginScene(bool clear);
void L3EndScene();
void L3Present(bool runOffscreenPasses);
int L3GetScreenWidth();
int L3GetScreenHeight();
// The model draw counts into the frame's three counters.
void L3CountDrawAttempt();
void L3CountDrawDone();
void L3CountDrawSkipped();

// ---- Camera ----
// Every camera setter also tells the effects where the camera stands (their distance fades).
// Rotations about X by a, Y by -b and Z by c, the device camera built in the same order.
void L3SetViewFromAngles(const Vector3& position, float a, float b, float c);
// The same starting with Z: the device camera of MatSetCameraAnglesZFirst.
void L3SetViewFromAnglesAlt(const Vector3& position, float a, float b, float c);
// A camera matrix: the depth, horizontal and vertical axes as its first three rows, the position
// as its fourth.
void L3SetViewMatrix(const Matrix4& camera);
void L3SetViewFromAxes(const Vector3& position, const Vector3& depthAxis, const Vector3& horizontalAxis,
                       const Vector3& verticalAxis);

// ---- Projection and viewport ----
// Width and height of the view window at the near distance.
void L3SetPerspective(float nearZ, float farZ, float width, float height);
void L3SetOrthographic(float nearZ, float farZ, float width, float height);
// The width as aspect x base width x 0.75.
void L3SetPerspective(float nearZ, float farZ, float baseWidth, float height, float aspect);
void L3SetOrthographic(float nearZ, float farZ, float baseWidth, float height, float aspect);
// The projection in force again with another far distance.
void L3SetFarPlane(float farZ);
// The letterboxed viewport and the projection of a camera's settings.
void L3ApplyViewportSettings(const ViewportSettings& settings);
// Bars above and below for a picture of the ratio on a screen of the mode's shape (0 4:3, 1 16:9).
void L3SetViewportAndProjection(uint32_t aspectMode, float aspectRatio, int32_t x, int32_t y, int32_t width,
                                int32_t height, float baseViewWidth, float viewHeight, float nearZ, float farZ,
                                bool orthographic);
// The table of picture shapes: 0 4:3, 1 1.66, 2 16:9, 3 1.85, 4 2.0, 5 2.35; 0 for any other.
float AspectRatioToFloat(uint32_t ratio);
// How wide a pixel of a width x height target shows on a screen of the mode's shape, against its height.
float L3GetPixelAspectScale(uint32_t aspectMode, int32_t width, int32_t height);

// ---- Quality and fading ----
// The model files read: 0 the low-detail variants (else medium, else the file named), 1 the medium
// ones (else the file named), 2 the file named. A level outside 0..2 is reported, stored and read as 2.
void L3SetRenderQuality(int32_t level);
void L3SetVisibleZRange(float minVisZ, float maxVisZ);
void L3SetVisibilityFading(bool on);

// ---- Queries ----
// Stores the depth of the centre as the last depth; depthOnly: that is all, and the answer is true.
bool L3SphereInFrustum(const Vector3& centre, float radius, bool depthOnly);
// The frustum, then the depth rules of the visibility type (type 3 with the model's fade range).
bool L3IsModelVisible(const Vector3& centre, float radius, uint32_t visibilityType, float fadeNear = -1.0f,
                      float fadeFar = -1.0f);
// Visible at the depth by the type's rules, and the alpha (0..255) of the fade.
// 0 always, opaque; 1 fades out between minVisZ and maxVisZ; 2 visible up to minVisZ; 3 fades out
// between the model's own fadeNear and fadeFar.
bool L3AlphaForDistance(uint32_t visibilityType, float depth, float fadeNear, float fadeFar, int32_t* pAlpha);
// The model's fade at the depth, limited to alphaCap, set up for its draw: a model allowed to fade
// draws transparent with that alpha, every other draw opaque.
bool L3ModelAlphaForDistance(const CModel* pModel, float depth, int32_t alphaCap);
// The same for any drawable with its own fade values (a model clump).
bool L3ApplyAlphaForDistance(uint32_t visibilityType, float depth, float fadeNear, float fadeFar, int32_t alphaCap,
                             bool alphaPermitted);

// ---- Conversions ----
// By the device's view and projection onto the render target (x, y in pixels, z the depth);
// true when in front of the far plane and not behind the camera.
bool L3WorldToScreen(const Vector3& world, Vector3* pScreenPosition);
// The same in pixels of the viewport, from its corner.
bool L3ViewportToScreen(const Vector3& world, Vector3* pViewportPosition);
// A render-target pixel as a point of the view window (horizontal to the left, vertical up).
void L3ScreenToViewWindow(float x, float y, float* pViewportX, float* pViewportY);
// A point given along the camera's horizontal, vertical and depth axes, in the world.
void L3CameraToWorld(float x, float y, float z, Vector3* pOutput);
// The world segment that a render-target pixel shows: from the camera (orthographic: from the near
// plane) to the far plane.
void L3ScreenToWorldRay(float x, float y, Vector3* pRayStart, Vector3* pRayEnd);
