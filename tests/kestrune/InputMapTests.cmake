# Tests of the input map and rumble.
veldrane_test(kestrune_input_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InputMapTest.cpp ${CMAKE_CURRENT_LIST_DIR}/RumbleTest.cpp
  LIBS kestrune_input)
