include(GoogleTest)

# clipvane_add_test(NAME SOURCES ... LIBS ... [PROPERTIES ...] [LAUNCHER script])
# Natively the cases are discovered one by one, each with the given test
# properties. Windows test programs run under Wine (the cross toolchain's
# emulator) inside one prefix kept in the build tree; the wine_prefix
# fixture creates it once per test run. A LAUNCHER script runs the emulator
# and the program it is given (tests/support/two_monitors.sh, a desktop).
function(clipvane_add_test name)
  cmake_parse_arguments(T "" "LAUNCHER" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} clipvane_options gmock gtest_main)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  if(WIN32)
    # Optimising the tests themselves (not the code they test) took a large
    # share of the Windows build and bought nothing at run time.
    target_compile_options(${name} PRIVATE -O0)
    if(T_LAUNCHER)
      add_test(NAME ${name} COMMAND ${T_LAUNCHER} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
    else()
      add_test(NAME ${name} COMMAND ${name})
    endif()
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine_prefix
      ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all"
      TIMEOUT 600)
  else()
    if(T_PROPERTIES)
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${T_PROPERTIES})
    else()
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
    endif()
  endif()
endfunction()

if(WIN32)
  add_test(NAME wine_prefix_init
    COMMAND "${CMAKE_SOURCE_DIR}/scripts/wine-prefix" "${CMAKE_BINARY_DIR}/wineprefix" --test)
  set_tests_properties(wine_prefix_init PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
endif()

# clipvane_add_fuzzer(NAME SOURCES ... LIBS ... CORPUS dir)
# libFuzzer targets, built by the fuzz preset (clang). Each runs as a CTest
# case for CLIPVANE_FUZZ_SECONDS, growing a scratch corpus in the build tree
# from the seeds kept beside the tests; any crash, leak or sanitizer report
# fails it.
set(CLIPVANE_FUZZ_SECONDS 20 CACHE STRING "Seconds each fuzz target runs in the test suite")
function(clipvane_add_fuzzer name)
  if(NOT CLIPVANE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(scratch "${CMAKE_BINARY_DIR}/fuzz-corpus/${name}")
  # With the 1 MiB main-thread stack of Windows rather than Linux's 8 MiB,
  # so that input recursing too deep for the program fails here as well.
  add_test(NAME ${name}
    COMMAND sh -c "ulimit -s 1024 && exec \"$@\"" ${name}
      ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
      $<TARGET_FILE:${name}> -max_total_time=${CLIPVANE_FUZZ_SECONDS} -print_final_stats=1
      -artifact_prefix=${CMAKE_BINARY_DIR}/fuzz-artifacts/${name}- ${scratch} ${F_CORPUS})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 900)
  file(MAKE_DIRECTORY "${scratch}" "${CMAKE_BINARY_DIR}/fuzz-artifacts")
  add_dependencies(clipvane_fuzzers ${name})
endfunction()
