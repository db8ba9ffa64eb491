// The render façade on the scripted card (or the OpenGL renderer headless, see m_drawing) with the project data,
// a world manager whose AI map and land tree the lights and shadows stand on, and the shipped light,
// shadow and cloud data copied into the test's data folder.
#pragma once

#include "FacadeFixture.h"
#include "ai/AIMap.h"
#include "ai/WorldMgr.h"
#include "global/ProjData.h"
#include "matcore9/Forwarders.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

class LightingFixture : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        createProjData();
        getProjData().pWorldMgr = new CWorldMgr;
        for (const char* f : {"lights/lightmaps.txt", "lights/spot.tga", "lights/point.tga", "lights/spotmap.mtl",
                              "lights/pointmap.mtl", "models/shadow/shadow.mtl", "models/shadow/plane shadow.tga",
                              "models/shadow/MechShad.tga", "models/volumefog/cloudlevel.tga",
                              "models/volumefog/puff.rsm", "models/volumefog/puff.mtl"})
            copyData(f);
        ASSERT_TRUE(startFacade());
    }

    void TearDown() override
    {
        getProjData().pWorldMgr->unloadLevel();
        delete std::exchange(getProjData().pWorldMgr, nullptr);
        destroyProjData();
        FacadeFixture::TearDown();
    }

    // An AI map of cells x cells of 100 units from the origin, heights by cell, and a land tree over it.
    static CAIMap& ground(int32_t cells, const std::function<uint16_t(int32_t, int32_t)>& height)
    {
        CWorldMgr* pWorld = getProjData().getWorldMgr();
        pWorld->createTree(100.0f, 2);
        CAIMap& map = *pWorld->getAIMap();
        EXPECT_TRUE(map.create(cells, cells, 100, 0, 0));
        for (int32_t r = 0; r < cells; ++r)
            for (int32_t c = 0; c < cells; ++c) map.setHeight(c, r, height(c, r));
        return map;
    }

    // One frame through the façade: the camera looking straight down from above (x, y) at height z
    // (camera x and y along the world's), the view window width x height at the near distance 100.
    void frameLookingDown(float x, float y, float z, float viewWidth, const std::function<void()>& draws)
    {
        L3BeginScene(true);
        L3SetPerspective(100.0f, 100000.0f, viewWidth, viewWidth * 0.75f);
        D3DMATRIX view{};
        view.m[0][0] = view.m[1][1] = view.m[3][3] = 1;
        view.m[2][2] = -1;
        view.m[3][0] = -x, view.m[3][1] = -y, view.m[3][2] = z;
        MatSetViewMatrix(view);
        const float camera[3] = {x, y, z};
        std::copy(camera, camera + 3, D3DCore.CameraPosition);
        draws();
        L3EndScene();
        L3Present(false);
    }
};
