# Windows test executables run under Wine in a prefix of this build folder. One prefix per
# architecture; the fixture "wine" keeps one wineserver and an Xvfb display up for the run.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TESSARD_WINE_ARCH win64)
else()
  set(TESSARD_WINE_ARCH win32)
endif()
set(TESSARD_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(TESSARD_WINE_HARNESS ${CMAKE_SOURCE_DIR}/scripts/wine-harness)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TESSARD_WINE_HARNESS} run ${TESSARD_WINE_DIR})
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

file(GLOB TESSARD_WINE_REG_FILES ${CMAKE_SOURCE_DIR}/tests/wine/*.reg)
add_custom_command(
  OUTPUT ${TESSARD_WINE_DIR}/prefix.stamp
  COMMAND ${TESSARD_WINE_HARNESS} prefix ${TESSARD_WINE_DIR} ${TESSARD_WINE_ARCH}
  DEPENDS ${TESSARD_WINE_HARNESS} ${TESSARD_WINE_REG_FILES}
  COMMENT "Making the ${TESSARD_WINE_ARCH} Wine prefix"
  VERBATIM)
add_custom_target(wineprefix ALL DEPENDS ${TESSARD_WINE_DIR}/prefix.stamp)

add_test(NAME wine.start COMMAND ${TESSARD_WINE_HARNESS} start ${TESSARD_WINE_DIR} $<TARGET_FILE:desktophold>)
add_test(NAME wine.stop COMMAND ${TESSARD_WINE_HARNESS} stop ${TESSARD_WINE_DIR})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

# A GoogleTest executable whose cases each become one CTest test under Wine. Cases are
# listed at build time, in the prefix; ARGN are extra test properties.
function(tessard_add_wine_gtest target)
  add_dependencies(${target} wineprefix)
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES FIXTURES_REQUIRED wine ${ARGN})
endfunction()
