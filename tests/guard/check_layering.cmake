cmake_minimum_required(VERSION 3.25)
# Reads LINKS (lines "library=dep,dep,...", the core libraries' direct link
# libraries) and fails when geometry links anything of ours but base, when
# base links anything of ours, or when the core libraries' links form a cycle.
file(STRINGS "${LINKS}" lines)
set(core "")
foreach(line ${lines})
  string(REGEX MATCH "^([^=]+)=(.*)$" _ "${line}")
  list(APPEND core "${CMAKE_MATCH_1}")
  string(REPLACE "," ";" deps "${CMAKE_MATCH_2}")
  set(deps_${CMAKE_MATCH_1} "${deps}")
endforeach()

# Only links to core libraries count (system and third-party ones do not).
foreach(lib ${core})
  set(own "")
  foreach(dep ${deps_${lib}})
    if(dep IN_LIST core)
      list(APPEND own ${dep})
    endif()
  endforeach()
  set(deps_${lib} "${own}")
  message(STATUS "${lib} -> ${own}")
endforeach()

if(deps_base)
  message(FATAL_ERROR "base links ${deps_base}; it must link none of ours")
endif()
if(NOT "${deps_geometry}" STREQUAL "base")
  message(FATAL_ERROR "geometry links '${deps_geometry}'; it may link only base")
endif()

# Depth-first search from every library; a library met again on the current
# path closes a cycle.
function(visit lib path)
  if(lib IN_LIST path)
    message(FATAL_ERROR "dependency cycle: ${path};${lib}")
  endif()
  foreach(dep ${deps_${lib}})
    visit(${dep} "${path};${lib}")
  endforeach()
endfunction()
foreach(lib ${core})
  visit(${lib} "")
endforeach()
message(STATUS "core libraries: no cycle, geometry links only base")
