# The site address built into Clipvane.exe: the one a fresh install talks to
# until its user types another. An operator builds the program for their own
# site with -DCLIPVANE_DEFAULT_SITE=https://shots.example.org.
#
# As a script it checks one value:  cmake -DADDRESS=VALUE -P DefaultSite.cmake

# Stops unless `address` is an https origin that the program takes: the
# scheme in lower case, a host name or a bracketed IPv6 address, a port from
# 1 to 65535 if any, and nothing after it but one optional slash; at most
# 200 characters, what the program's address field holds.
function(clipvane_check_site_address address)
  set(host "([A-Za-z0-9][A-Za-z0-9.-]*|\\[[0-9A-Fa-f:.]+\\])")
  set(port "(:([0-9][0-9]?[0-9]?[0-9]?[0-9]?))?")
  set(usable FALSE)
  string(LENGTH "${address}" length)
  if(length LESS_EQUAL 200 AND address MATCHES "^https://${host}${port}/?$")
    set(usable TRUE)
    if(NOT "${CMAKE_MATCH_3}" STREQUAL "" AND (CMAKE_MATCH_3 LESS 1 OR CMAKE_MATCH_3 GREATER 65535))
      set(usable FALSE)
    endif()
  endif()
  if(NOT usable)
    message(FATAL_ERROR
      "CLIPVANE_DEFAULT_SITE must be an https origin such as https://shots.example.org, not \"${address}\"")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  clipvane_check_site_address("${ADDRESS}")
  return()
endif()

set(CLIPVANE_DEFAULT_SITE "https://clip.example" CACHE STRING
  "The site address built into Clipvane.exe (an https origin)")
clipvane_check_site_address("${CLIPVANE_DEFAULT_SITE}")
string(REGEX REPLACE "/$" "" CLIPVANE_DEFAULT_SITE_ORIGIN "${CLIPVANE_DEFAULT_SITE}")
