// The effect manager under the render façade on the scripted card, the project data's clock, the test kind.
#pragma once

#include "EffectTestKind.h"
#include "FacadeFixture.h"
#include "effects/Effect.h"
#include "effects/EffectDefinition.h"
#include "effects/EffectManager.h"
#include "effects/EffectScene.h"
#include "global/ProjData.h"

#include <memory>
#include <string>

using testsupport::countReports;

class EffectsFixture : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        copyData("sphere.rsm");
        ASSERT_TRUE(startFacade());
        createProjData();
        installTestKind();
        SetEffectCameraPosition(Vector3());
        SetEffectSortCamera(nullptr);
        manager = std::make_unique<CEffectManager>();
    }
    void TearDown() override
    {
        manager.reset(), removeTestKind(), destroyProjData();
        FacadeFixture::TearDown();
    }

    // Definition blocks: one value per line, every brace on its own line.
    static std::string block(const std::string& kind, const std::string& name, const std::string& keys = "")
    { return kind + "\n{\ninstancename " + name + "\n" + keys + "}\n"; }
    static std::string multiEffect(const std::string& name, std::initializer_list<std::string> effects)
    {
        std::string entries = "Effects\n{\n";
        for (const std::string& e : effects) entries += "{\nEffect " + e + "\n}\n";
        return block("MULTIEFFECT", name, entries + "}\n");
    }
    // Holds the text's blocks and precaches each name given; each of those is a read of the file of
    // its own unless the caller holds one over them (ReadingFile), as the effect objects do.
    void define(const std::string& text, std::initializer_list<const char*> names = {},
                const std::string& file = "effects.txt")
    {
        m_dir.write(file, text);
        ASSERT_TRUE(manager->ReadBlocks(file.c_str()));
        for (const char* name : names) EXPECT_TRUE(manager->PrecacheEffect(name)) << name;
    }

    // "end name", or "end name tag" for an effect created with a tag: a freed effect's address may
    // be the next one's, so which effect ended is told by its tag.
    static void logEnd(CEffect* pEffect, void* tag)
    {
        effectLog().push_back("end " + testEffectName(pEffect) + (tag ? std::string(" ") + static_cast<const char*>(tag) : ""));
    }
    CEffect* create(const char* name, const Vector3& at = Vector3(), const char* tag = nullptr)
    { return manager->CreateEffect(name, at, Matrix3(), 0, logEnd, const_cast<char*>(tag)); }
    static void setTime(int ms) { getProjData().GameTime = ms; }

    std::unique_ptr<CEffectManager> manager;
};
