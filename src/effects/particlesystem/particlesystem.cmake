# The particle effects: part of the effects module, kept in their own folder.
target_sources(effects PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/KeyFrames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleSystem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleEmitter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleKinds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleEffect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpriteParticles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MeshParticles.cpp)
# Samples through the audio manager, the ground through the AI map; drawn kinds through the
# material library and the render façade's scene core and models.
target_link_libraries(effects PUBLIC audio aimap global matcore9 l3render)
