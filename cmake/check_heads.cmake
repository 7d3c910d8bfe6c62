cmake_minimum_required(VERSION 3.25)

# The file-head check: every source file (.h, .cpp, .c) of the engine's layered
# folders and of FOLDERS opens with a comment line (// or /*) that says what it
# holds, before any #pragma, include or code. Run as
#   cmake -DROOT=<source dir> [-DTABLE=<layer table>] [-DFOLDERS=<a;b>] [-DSKIP=<a;b>]
#         -P cmake/check_heads.cmake
# and fails with one line per file that opens otherwise. FOLDERS are searched
# with their subfolders (by default the tools, tests, benchmarks and fuzz
# targets); SKIP lists folders left out (by default the test trees that break
# the checks on purpose).

include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)
quorvel_layers_read_for_check("cmake -DROOT=<source dir> [-DTABLE=<table>] -P check_heads.cmake")
if(NOT DEFINED FOLDERS)
  set(FOLDERS tools tests bench fuzz)
endif()
if(NOT DEFINED SKIP)
  set(SKIP tests/layers tests/heads)
endif()

set(files "")
foreach(layer IN LISTS QUORVEL_LAYERS)
  list(APPEND files ${QUORVEL_LAYER_${layer}})
endforeach()
foreach(folder IN LISTS FOLDERS)
  file(GLOB_RECURSE found RELATIVE "${ROOT}"
       "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.c")
  list(APPEND files ${found})
endforeach()
foreach(folder IN LISTS SKIP)
  list(FILTER files EXCLUDE REGEX "^${folder}/")
endforeach()
list(REMOVE_DUPLICATES files)
list(SORT files)

set(faults "")
foreach(file IN LISTS files)
  file(READ "${ROOT}/${file}" opening LIMIT 2)
  if(NOT opening MATCHES "^(//|/\\*)")
    list(APPEND faults "${file}")
  endif()
endforeach()

list(LENGTH files checked)
list(LENGTH faults count)
if(count GREATER 0)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "${count} file(s) open without a comment on what they hold:\n  ${text}")
endif()
message(STATUS "file heads kept: ${checked} files")
