// CModelResourceManager (manager 0x83): the placed models of a level's objects. A model file is
// defined on demand under its file name; instantiating a definition places one model, which its
// owner moves and draws through the handle. How a placed model is loaded and drawn is the game's:
// it installs a drawer, and without one a placed model keeps its transform and draws nothing.
#pragma once

#include "gamemanagement/SlotResourceManager.h"
#include "utility/VectorMath.h"

// How the game loads and draws the model of a placed model.
struct SModelDrawer {
    // The drawer's own instance of the model file; null when it cannot be had (nothing is drawn).
    void* (*create)(const char* fileName);
    void (*draw)(void* pInstance, const Matrix3& orientation, const Vector3& position, float scale);
    void (*destroy)(void* pInstance);
};

class CPlacedModel : public CResource {
public:
    // Instance flag bit 0: the owner draws the model itself, outside any render group.
    static constexpr uint32_t FLAG_OWNER_DRAWN = 0x01;

    explicit CPlacedModel(const char* fileName);
    ~CPlacedModel() override;
    CPlacedModel(const CPlacedModel&) = delete;
    CPlacedModel& operator=(const CPlacedModel&) = delete;

    uint32_t getResourceType() const override { return RESOURCETYPE_MODEL; }
    const char* getTypeName() const override { return "ModelInstance"; }

    void setTransform(const Matrix3& orientation, const Vector3& position, float scale = 1.0f);
    void render();

    const char* getFileName() const { return d_fileName; }
    const Matrix3& getOrientation() const { return d_orientation; }
    const Vector3& getPosition() const { return d_position; }
    float getScale() const { return d_scale; }
    uint32_t getDrawCount() const { return d_drawCount; }

    uint32_t flags;

private:
    char d_fileName[resDef::MAX_TYPE_NAME];
    Matrix3 d_orientation;
    Vector3 d_position;
    float d_scale;
    uint32_t d_drawCount;
    void* d_pInstance;
};

class CModelResourceManager : public CSlotResourceManager {
public:
    static constexpr uint32_t MAX_PLACED_MODELS = 4096;
    static constexpr uint32_t MAX_DEFINITIONS = 1024;

    CModelResourceManager();
    // Any model file name can be defined (once); false for a name too long or a full table.
    bool addDefinition(const char* typeName, resDef* pDef) override;
    void destroy() override { delete this; }

    // The drawer every placed model made from now on uses (null: none).
    static void setDrawer(const SModelDrawer* pDrawer);

protected:
    CResource* makeResource(uint32_t typeId) override;
};
