# The particle effects: part of the effects module, kept in their own folder.
target_sources(effects PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/KeyFrames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleSystem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleEmitter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleKinds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParticleEffect.cpp)
# Samples through the audio manager, the ground through the world's AI map.
target_link_libraries(effects PUBLIC audio ai global)
