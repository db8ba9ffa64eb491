// The flat operations through which the scene, the HUD and the front end reach the render core
// without seeing it. Each passes its arguments on; materials are named by state-block handle
// (SB_NONE for none).
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

void MatBeginScene(bool clear);
void MatEndScene();
void MatPresent(bool runOffscreenPasses);
// The off-screen passes: each registered one drawn in a scene of its own.
void MatRunRenderCallbacks();
void MatSetCameraAnglesZFirst(float a1, float a2, float a3, float x, float y, float z);
void MatSetCameraAngles(float a1, float a2, float a3, float x, float y, float z);
void MatSetViewMatrix(const D3DMATRIX& matrix);
void MatSetPerspective(float nearZ, float farZ, float scaleX, float scaleY);
// The colour outside a letterbox or windowbox viewport, stored only when Enable is set.
void MatSetBorderColour(bool Enable, int32_t R, int32_t G, int32_t B, BYTE Flag);
int32_t MatShowLoadingScreen(const char* Text, int32_t Level);
// Flag: later texts replace the top line instead of pushing new ones.
void MatEnableLoadingScreen(bool On, bool Flag);
void MatSetLoadingText(const char* Text);
void MatSetFade(int32_t Alpha);
void MatSetAutoTransparency(BYTE on);
DWORD MatFindStateBlock(const char* MatID);
bool MatFindStateBlocksByMatID(const char* MatID, DWORD* Handles, DWORD ArraySize, DWORD* NumFound);
// pass << 8 | stage of the stage named so; 0xFFFFFFFF when none.
DWORD MatFindStageID(DWORD Handle, const char* StageName);
void MatSetStageTextureMatrix(DWORD Handle, DWORD IDHandle, const float matrix[9]);
// The material's texture factor, A << 24 | R << 16 | G << 8 | B; components outside 0..255 are
// reported and the call refused.
void SetTextureFactor(DWORD Handle, int32_t R, int32_t G, int32_t B, int32_t A);
void SetTextureFactorAlpha(DWORD Handle, int32_t A);
void SetTextureFactorRGB(DWORD Handle, int32_t R, int32_t G, int32_t B);
