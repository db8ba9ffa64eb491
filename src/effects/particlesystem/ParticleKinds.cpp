#include "effects/particlesystem/ParticleKinds.h"

#include "effects/particlesystem/MeshParticles.h"
#include "effects/particlesystem/ParticleController.h"
#include "effects/particlesystem/ParticleEmitter.h"
#include "effects/particlesystem/ParticleSystem.h"
#include "effects/particlesystem/SpriteParticles.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"

#include <cstdio>

namespace {

SParticleSystemKind systemKinds[] = {
    {"spriteparticles", CSpriteParticles::ReadDefinition, CSpriteParticles::Create},
    {"meshparticles", CMeshParticles::ReadDefinition, CMeshParticles::Create},
    {"dummyparticles", CDummyParticles::ReadDefinition, CDummyParticles::Create},
    {"dynamicmeshparticles", CDynamicMeshParticles::ReadDefinition, CDynamicMeshParticles::Create},
};

SControllerKind controllerKinds[] = {
    {"gravitycontroller", CGravityController::ReadDefinition, CreateGravityController},
    {"attractioncontroller", CAttractionController::ReadDefinition, CreateAttractionController},
    {"gravitycontrollernocollision", CGravityControllerNoCollision::ReadDefinition, CreateGravityControllerNoCollision},
    {"wrappingspacecontroller", CWrappingSpaceController::ReadDefinition, CreateWrappingSpaceController},
};

SEmitterKind emitterKinds[] = {
    {"fountainemitter", CFountainEmitter::ReadDefinition, CreateFountainEmitter},
    {"pointemitter", CPointEmitter::ReadDefinition, CreatePointEmitter},
    {"shapeemitter", CShapeEmitter::ReadDefinition, CreateShapeEmitter},
    {"volumeemitter", CVolumeEmitter::ReadDefinition, CreateVolumeEmitter},
    {"followemitter", CFollowEmitter::ReadDefinition, CreateFollowEmitter},
    {"dynamicshapeemitter", CDynamicShapeEmitter::ReadDefinition, CreateDynamicShapeEmitter},
};

template <typename Kind, size_t N>
Kind* findKind(Kind (&kinds)[N], const char* name)
{
    if (!name) return nullptr;
    for (Kind& kind : kinds)
        if (stricmp(kind.name, name) == 0) return &kind;
    return nullptr;
}

}  // namespace

SParticleSystemKind* FindParticleSystemKind(const char* name) { return findKind(systemKinds, name); }
SControllerKind* FindControllerKind(const char* name) { return findKind(controllerKinds, name); }
SEmitterKind* FindEmitterKind(const char* name) { return findKind(emitterKinds, name); }
