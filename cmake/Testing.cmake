include(GoogleTest)

# clipvane_add_test(NAME SOURCES ... LIBS ...)
# Natively the cases are discovered one by one. Windows test programs run
# under Wine (the cross toolchain's emulator) inside one prefix kept in the
# build tree; the wine_prefix fixture creates it once per test run.
function(clipvane_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} clipvane_options gmock gtest_main)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine_prefix
      ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all"
      TIMEOUT 600)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

if(WIN32)
  add_test(NAME wine_prefix_init
    COMMAND "${CMAKE_SOURCE_DIR}/scripts/wine-prefix" "${CMAKE_BINARY_DIR}/wineprefix")
  set_tests_properties(wine_prefix_init PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
endif()
