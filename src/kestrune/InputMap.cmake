# The input map and rumble: the game's side of the input devices.
veldrane_module(kestrune_input
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InputMap.cpp
          ${CMAKE_CURRENT_LIST_DIR}/RumbleEnvelope.cpp
          ${CMAKE_CURRENT_LIST_DIR}/Rumble.cpp
  LIBS input utility)
