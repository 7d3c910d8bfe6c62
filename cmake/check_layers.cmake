cmake_minimum_required(VERSION 3.25)

# The include check: every layered file may include only headers of its own
# layer or of lower ones, never another folder's local header (*_local.h),
# and only plat/ may include the system libraries' headers. Run as
#   cmake -DROOT=<source dir> [-DTABLE=<layer table>] -P cmake/check_layers.cmake
# and fails with one line per offending include.

include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)
quorvel_layers_read_for_check("cmake -DROOT=<source dir> [-DTABLE=<table>] -P check_layers.cmake")

set(faults "")
set(checked 0)
foreach(layer IN LISTS QUORVEL_LAYERS)
  foreach(file IN LISTS QUORVEL_LAYER_${layer})
    math(EXPR checked "${checked} + 1")
    set(own ${QUORVEL_LAYER_OF_${file}})
    file(STRINGS "${ROOT}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS includes)
      if(line MATCHES "\"([^\"]+)\"")
        set(inc "${CMAKE_MATCH_1}")
        if(DEFINED QUORVEL_LAYER_OF_${inc})
          set(their ${QUORVEL_LAYER_OF_${inc}})
          if(their GREATER own)
            list(GET QUORVEL_LAYERS ${their} their_name)
            list(APPEND faults "${file} (layer ${layer}) includes ${inc} of the higher layer ${their_name}")
          endif()
          # A local header is its folder's own; other folders see the public ones.
          string(REGEX MATCH "^[^/]+/" their_folder "${inc}")
          if(inc MATCHES "_local\\.h$" AND NOT file MATCHES "^${their_folder}")
            list(APPEND faults "${file} includes ${inc}, a local header of ${their_folder}")
          endif()
        else()
          list(APPEND faults "${file} (layer ${layer}) includes ${inc}, which is in no layer")
        endif()
      elseif(line MATCHES "<([^>]+)>")
        set(inc "${CMAKE_MATCH_1}")
        if(inc MATCHES "${QUORVEL_PLATFORM_HEADERS}" AND NOT file MATCHES "^plat/")
          list(APPEND faults "${file} (layer ${layer}) includes <${inc}>, which only plat/ may include")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

list(LENGTH faults count)
if(count GREATER 0)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "${count} include(s) break the layering:\n  ${text}")
endif()
message(STATUS "layering kept: ${checked} files in ${TABLE}")
