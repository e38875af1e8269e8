# nlohmann json is header-only. The cross build must not see the host's
# /usr/include, so the headers are reached through a folder that holds
# nothing but a link to nlohmann/.
find_path(CLIPVANE_NLOHMANN_ROOT nlohmann/json.hpp
  PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(CLIPVANE_JSON_INCLUDE "${CMAKE_BINARY_DIR}/deps/json-include")
file(MAKE_DIRECTORY "${CLIPVANE_JSON_INCLUDE}")
file(CREATE_LINK "${CLIPVANE_NLOHMANN_ROOT}/nlohmann"
  "${CLIPVANE_JSON_INCLUDE}/nlohmann" SYMBOLIC)
add_library(clipvane_json INTERFACE)
target_include_directories(clipvane_json SYSTEM INTERFACE "${CLIPVANE_JSON_INCLUDE}")

if(CLIPVANE_TESTS)
  # GoogleTest from Debian's sources, so the same version builds natively
  # and with the cross compiler.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/deps/googletest" EXCLUDE_FROM_ALL)
endif()
