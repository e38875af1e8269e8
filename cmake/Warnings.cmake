add_library(clipvane_options INTERFACE)
target_compile_options(clipvane_options INTERFACE -Wall -Wextra -Wno-missing-field-initializers)

if(CLIPVANE_FUZZ)
  # Everything the fuzzers link is instrumented for coverage and checked.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(CLIPVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Library checks of the standard containers stay on in every Windows build:
  # an out-of-range index aborts instead of corrupting memory.
  add_compile_definitions(_GLIBCXX_ASSERTIONS UNICODE _UNICODE
    NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00 NTDDI_VERSION=0x0A000006)
  # A release carries only what it runs: every function and datum in a
  # section of its own, the sections nothing refers to dropped at link
  # time, and no symbols.
  add_compile_options($<$<CONFIG:Release>:-ffunction-sections> $<$<CONFIG:Release>:-fdata-sections>)
  add_link_options(-static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>
    $<$<CONFIG:Release>:-Wl,--gc-sections>)
endif()
