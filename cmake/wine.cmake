# Windows test executables run under Wine in a prefix of this build folder. One prefix per
# architecture, and one more at 144 DPI for the tests that need it; the fixture "wine" (and
# "wine_144dpi") keeps one wineserver and an Xvfb display up for the run.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TESSARD_WINE_ARCH win64)
else()
  set(TESSARD_WINE_ARCH win32)
endif()
set(TESSARD_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(TESSARD_WINE_144DPI_DIR ${CMAKE_BINARY_DIR}/wine-144dpi)
set(TESSARD_WINE_HARNESS ${CMAKE_SOURCE_DIR}/scripts/wine-harness)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TESSARD_WINE_HARNESS} run ${TESSARD_WINE_DIR})
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

file(GLOB TESSARD_WINE_REG_FILES ${CMAKE_SOURCE_DIR}/tests/wine/*.reg)

# The prefix in `dir`, made by the target `target` with tests/wine/*.reg and ARGN, the settings
# files of its own, and the fixture `fixture` that runs Wine there.
function(tessard_wine_prefix target dir fixture)
  add_custom_command(
    OUTPUT ${dir}/prefix.stamp
    COMMAND ${TESSARD_WINE_HARNESS} prefix ${dir} ${TESSARD_WINE_ARCH} ${ARGN}
    DEPENDS ${TESSARD_WINE_HARNESS} ${TESSARD_WINE_REG_FILES} ${ARGN}
    COMMENT "Making the ${TESSARD_WINE_ARCH} Wine prefix in ${dir}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${dir}/prefix.stamp)

  add_test(NAME ${fixture}.start COMMAND ${TESSARD_WINE_HARNESS} start ${dir} $<TARGET_FILE:desktophold>)
  add_test(NAME ${fixture}.stop COMMAND ${TESSARD_WINE_HARNESS} stop ${dir})
  # One start at a time picks a display number: two at once could both take the first free one.
  set_tests_properties(${fixture}.start PROPERTIES FIXTURES_SETUP ${fixture} RESOURCE_LOCK wine_display)
  set_tests_properties(${fixture}.stop PROPERTIES FIXTURES_CLEANUP ${fixture})
endfunction()

tessard_wine_prefix(wineprefix ${TESSARD_WINE_DIR} wine)
tessard_wine_prefix(wineprefix_144dpi ${TESSARD_WINE_144DPI_DIR} wine_144dpi
                    ${CMAKE_SOURCE_DIR}/tests/wine/dpi144/logpixels.reg)

# A GoogleTest executable whose cases each become one CTest test under Wine. Cases are
# listed at build time, in the prefix; ARGN are extra test properties.
function(tessard_add_wine_gtest target)
  add_dependencies(${target} wineprefix)
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES FIXTURES_REQUIRED wine ${ARGN})
endfunction()

# The same in the prefix whose display has 144 DPI.
function(tessard_add_144dpi_wine_gtest target)
  add_dependencies(${target} wineprefix_144dpi)
  set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR ${TESSARD_WINE_HARNESS} run ${TESSARD_WINE_144DPI_DIR})
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES FIXTURES_REQUIRED wine_144dpi ${ARGN})
endfunction()
