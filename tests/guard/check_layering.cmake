cmake_minimum_required(VERSION 3.25)
# Reads LINKS (lines "library=dep,dep,...", the core libraries' direct link
# libraries, lowest library first) and fails when a library links one of
# ours that is not below it in that order: dependencies point down only, so
# they can form no cycle.
file(STRINGS "${LINKS}" lines)
string(REPLACE "," ";" ALL "${ALL}")
set(order "")
foreach(line ${lines})
  string(REGEX MATCH "^([^=]+)=(.*)$" _ "${line}")
  set(lib "${CMAKE_MATCH_1}")
  string(REPLACE "," ";" deps "${CMAKE_MATCH_2}")
  foreach(dep ${deps})
    # Only links to libraries of ours count (system and third-party ones do not).
    if(dep IN_LIST order OR dep IN_LIST ALL)
      if(NOT dep IN_LIST order)
        message(FATAL_ERROR "${lib} links ${dep}, which is not below it")
      endif()
    endif()
  endforeach()
  message(STATUS "${lib} -> ${deps}")
  list(APPEND order "${lib}")
endforeach()
message(STATUS "every library links only libraries below it: ${order}")

# The view and the UI services never reach up into the application.
foreach(dir viewer ui)
  file(GLOB sources "${SOURCE_DIR}/${dir}/*.h" "${SOURCE_DIR}/${dir}/*.cpp")
  foreach(source ${sources})
    file(STRINGS "${source}" hits REGEX "^#include \"app/")
    if(hits)
      message(FATAL_ERROR "${source} includes the application: ${hits}")
    endif()
  endforeach()
endforeach()
