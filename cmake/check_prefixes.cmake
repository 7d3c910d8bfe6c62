cmake_minimum_required(VERSION 3.25)

# The name check: every function and constant a folder's public header exports
# begins with one of the folder's prefixes, and every constant anywhere in the
# folder is UPPER_SNAKE_CASE and begins with one of them, unless the prefix
# table keeps the name; and no prefix belongs to two folders. Run as
#   cmake -DROOT=<source dir> [-DTABLE=<layer table>] [-DPREFIXES=<prefix table>]
#         -P cmake/check_prefixes.cmake
# and fails with one line per offending name. The prefix table's format is
# described at the top of cmake/prefixes.txt.
#
# What it reads, on this code base's style (clang-formatted, one declaration
# per line): a public header is any .h of a layered folder not ending in
# _local.h. Outside every brace but those of namespaces and extern "C", a line
# that starts in column 0 and declares
#   - a function (a type, then the name and "(") is checked in public headers;
#     inside a named namespace it is reached through that name, so the
#     namespace's name is checked instead;
#   - a constant (constexpr or const, not a function) is checked everywhere;
# the enumerators of an unscoped enum (enum class ones are reached through
# their type) and the names of #define lines (object-like ones everywhere,
# function-like ones in public headers) are checked as constants. Comments,
# string literals and raw strings are removed first; lines inside functions,
# records and initialisers are not read.

include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)
quorvel_layers_read_for_check(
  "cmake -DROOT=<source dir> [-DTABLE=<table>] [-DPREFIXES=<prefix table>] -P check_prefixes.cmake")
if(NOT PREFIXES)
  set(PREFIXES "${ROOT}/cmake/prefixes.txt")
endif()

# ---- the prefix table --------------------------------------------------------
file(STRINGS "${PREFIXES}" table_lines)
set(table_folders "")
foreach(line IN LISTS table_lines)
  quorvel_table_words(line words)
  if(NOT words)
    continue()
  endif()
  list(POP_FRONT words first)
  if(first STREQUAL "keep")
    list(POP_FRONT words folder)
    list(APPEND keep_${folder} ${words})
    continue()
  endif()
  foreach(prefix IN LISTS words)
    if(NOT prefix MATCHES "^[a-z][a-z0-9_]*[a-z0-9]$")
      message(FATAL_ERROR "${PREFIXES}: prefix '${prefix}' of ${first} is not lower_snake_case")
    endif()
  endforeach()
  list(APPEND prefixes_${first} ${words})
  list(APPEND table_folders ${first})
endforeach()

set(faults "")
set(checked_names 0)

# One owner per prefix: a prefix listed for two folders, or one that is
# another folder's prefix followed by "_" and more (snd_dev under snd), would
# let a name's prefix point at two folders. Within one folder nesting is
# harmless (the owner is the same).
list(REMOVE_DUPLICATES table_folders)
foreach(folder IN LISTS table_folders)
  foreach(prefix IN LISTS prefixes_${folder})
    foreach(other IN LISTS table_folders)
      if(other STREQUAL folder)
        continue()
      endif()
      foreach(theirs IN LISTS prefixes_${other})
        if(prefix STREQUAL theirs AND folder STRLESS other)
          list(APPEND faults "${PREFIXES}: prefix ${prefix} is listed for ${folder}/ and ${other}/")
        elseif(prefix MATCHES "^${theirs}_")
          list(APPEND faults "${PREFIXES}: prefix ${prefix} of ${folder}/ nests in ${theirs} of ${other}/")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()

# Records a fault unless `name` passes for the folder. kind is "function" or a
# constant kind; functions are lower_snake_case, constants UPPER_SNAKE_CASE.
macro(prefix_check kind name where)
  math(EXPR checked_names "${checked_names} + 1")
  if("${name}" IN_LIST keep_${folder})
    list(APPEND kept_seen_${folder} "${name}")
  elseif(NOT "${name}" MATCHES "${pattern_${kind}}")
    if("${kind}" STREQUAL "function" OR "${kind}" STREQUAL "namespace")
      list(APPEND faults "${where}: function ${name} is not lower_snake_case with a prefix of ${folder}/")
    else()
      list(APPEND faults "${where}: ${kind} ${name} is not UPPER_SNAKE_CASE with a prefix of ${folder}/")
    endif()
  endif()
endmacro()

# The text of a file as a list of lines, without comments, literals and the
# characters that would break a CMake list.
function(prefix_read_lines path out)
  file(READ "${path}" text)
  string(ASCII 1 open_mark)
  string(ASCII 2 close_mark)
  # Raw strings (their bodies may hold braces and #define lines), then block
  # comments, line comments and the other literals.
  string(REPLACE "R\"(" "${open_mark}" text "${text}")
  string(REPLACE ")\"" "${close_mark}" text "${text}")
  string(REGEX REPLACE "${open_mark}[^${close_mark}]*${close_mark}" "\"\"" text "${text}")
  string(REPLACE "${close_mark}" ")\"" text "${text}")
  string(REPLACE "/*" "${open_mark}" text "${text}")
  string(REPLACE "*/" "${close_mark}" text "${text}")
  string(REGEX REPLACE "${open_mark}[^${close_mark}]*${close_mark}" " " text "${text}")
  string(REGEX REPLACE "//[^\n]*" "" text "${text}")
  string(REGEX REPLACE "\"([^\"\\\\\n]|\\\\.)*\"" "\"\"" text "${text}")
  string(REGEX REPLACE "'([^'\\\\\n]|\\\\.)*'" "''" text "${text}")
  string(REGEX REPLACE "\\[\\[[^]\n]*\\]\\]" "" text "${text}")
  string(REPLACE "[" "<" text "${text}")
  string(REPLACE "]" ">" text "${text}")
  string(REPLACE "\\" "@" text "${text}")  # a line ending in @ goes on
  string(REPLACE ";" "`" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# ---- the files of each folder ------------------------------------------------
foreach(layer IN LISTS QUORVEL_LAYERS)
  foreach(file IN LISTS QUORVEL_LAYER_${layer})
    string(REGEX MATCH "^[^/]+" folder "${file}")
    if(NOT DEFINED prefixes_${folder})
      if(NOT DEFINED no_table_${folder})
        set(no_table_${folder} 1)
        list(APPEND faults "${folder}/ has no line in ${PREFIXES}")
      endif()
      continue()
    endif()
    list(JOIN prefixes_${folder} "|" alternatives)
    string(TOUPPER "${alternatives}" upper_alternatives)
    set(pattern_function "^(${alternatives})(_[a-z0-9_]*)?$")
    set(pattern_constant "^(${upper_alternatives})(_[A-Z0-9_]*)?$")
    set(pattern_enumerator "${pattern_constant}")
    set(pattern_macro "${pattern_constant}")
    set(pattern_namespace "${pattern_function}")

    set(public 0)
    if(file MATCHES "\\.h$" AND NOT file MATCHES "_local\\.h$")
      set(public 1)
    endif()
    prefix_read_lines("${ROOT}/${file}" lines)

    set(depth 0)       # open braces other than those of namespaces
    set(spaces "")     # one entry per open namespace: 1 when named
    set(in_enum 0)
    set(enum_text "")
    set(number 0)
    set(continued 0)   # the line before ended in a backslash
    foreach(line IN LISTS lines)
      math(EXPR number "${number} + 1")
      set(where "${file}:${number}")
      if(continued)
        if(NOT line MATCHES "@[ \t]*$")
          set(continued 0)
        endif()
        continue()
      endif()
      if(line MATCHES "@[ \t]*$")
        set(continued 1)
      endif()
      string(REGEX MATCHALL "{" opens "${line}")
      string(REGEX MATCHALL "}" closes "${line}")
      list(LENGTH opens n_open)
      list(LENGTH closes n_close)

      # An unscoped enum at the top level (enum class ones are reached
      # through their type), its body read up to the closing brace.
      if(in_enum)
        string(APPEND enum_text " ${line}")
      elseif(depth EQUAL 0 AND line MATCHES "^(typedef[ \t]+)?enum([ \t{:]|$)"
             AND NOT line MATCHES "^(typedef[ \t]+)?enum[ \t]+(class|struct)[ \t{:]")
        if(NOT line MATCHES "{" AND line MATCHES "`[ \t]*$")
          continue()  # a declaration without a body
        endif()
        set(in_enum 1)
        set(enum_text "${line}")
        set(enum_where "${where}")
      endif()
      if(in_enum)
        if(n_close GREATER 0)
          set(in_enum 0)
          string(REGEX REPLACE "^[^{]*{" "" body "${enum_text}")
          string(REGEX REPLACE "}.*" "" body "${body}")
          # Parentheses in values may hold commas: drop their contents.
          foreach(round RANGE 3)
            string(REGEX REPLACE "\\([^()]*\\)" "" body "${body}")
          endforeach()
          string(REPLACE "," ";" items "${body}")
          foreach(item IN LISTS items)
            if(item MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_]*)")
              prefix_check(enumerator "${CMAKE_MATCH_1}" "${enum_where}")
            endif()
          endforeach()
        endif()
        continue()
      endif()

      if(line MATCHES "^[ \t]*#[ \t]*define[ \t]+([A-Za-z_][A-Za-z0-9_]*)(.?)")
        set(name "${CMAKE_MATCH_1}")
        set(after "${CMAKE_MATCH_2}")
        if(name MATCHES "^_")
          # the system's feature macros
        elseif(NOT after STREQUAL "(" OR public)
          prefix_check(macro "${name}" "${where}")
        endif()
        continue()
      endif()

      if(depth EQUAL 0)
        if(line MATCHES "^(inline[ \t]+)?namespace([ \t]+([A-Za-z_][A-Za-z0-9_:]*))?[ \t]*{")
          if(CMAKE_MATCH_3)
            list(APPEND spaces 1)
            if(public)
              prefix_check(namespace "${CMAKE_MATCH_3}" "${where}")
            endif()
          else()
            list(APPEND spaces 0)
          endif()
          continue()
        endif()
        if(line MATCHES "^extern[ \t]+\"\"[ \t]*{")
          list(APPEND spaces 0)
          continue()
        endif()
        if(spaces AND line MATCHES "^}[ \t`]*$")
          list(POP_BACK spaces)
          continue()
        endif()
        set(named_space 0)
        if("1" IN_LIST spaces)
          set(named_space 1)
        endif()

        # A declaration starting in column 0: the part before its initialiser
        # or body tells a constant from a function.
        if(line MATCHES "^[A-Za-z_]" AND NOT line MATCHES
           "^(typedef|using|template|struct|class|union|friend|static_assert|return|public|private|protected|case|default|goto|delete|new|operator)([^A-Za-z0-9_]|$)")
          string(REGEX REPLACE "[={`].*" "" head "${line}")
          string(REGEX MATCH "^[^(]*" before_call "${line}")
          if(line MATCHES "^(inline[ \t]+)?constexpr[ \t]+auto[ \t&*]+([a-z_][a-z0-9_]*)[ \t]*=[ \t]*[a-z_][a-z0-9_:]*[ \t]*`[ \t]*$")
            # Another name for a function ("constexpr auto a_b = c_d;").
            if(public)
              prefix_check(function "${CMAKE_MATCH_2}" "${where}")
            endif()
          elseif(line MATCHES "^((static|inline|extern)[ \t]+)*(constexpr|const)[ \t]" AND NOT head MATCHES "\\(")
            string(REGEX REPLACE "(<[^<>]*>[ \t]*)+$" "" head "${head}")  # an array's sizes
            if(head MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ \t]*$")
              prefix_check(constant "${CMAKE_MATCH_1}" "${where}")
            endif()
            # Further declarators on the same line: ", NAME = value".
            if(line MATCHES "=([^{(<\"']*)$")
              string(REGEX MATCHALL ",[ \t]*[A-Za-z_][A-Za-z0-9_]*[ \t]*=" more "${CMAKE_MATCH_1}")
              foreach(item IN LISTS more)
                string(REGEX REPLACE "[ \t,=]" "" item "${item}")
                prefix_check(constant "${item}" "${where}")
              endforeach()
            endif()
          elseif(public AND NOT named_space AND line MATCHES "\\("
                 AND NOT before_call MATCHES "="
                 AND before_call MATCHES "^[A-Za-z_][A-Za-z0-9_:<>, *&]*[ *&]([A-Za-z_][A-Za-z0-9_]*)[ \t]*$")
            set(name "${CMAKE_MATCH_1}")
            if(NOT before_call MATCHES "(::|~|operator)[ \t]*${name}[ \t]*$" AND NOT name MATCHES "^(operator|sizeof|alignof|decltype|noexcept)$")
              prefix_check(function "${name}" "${where}")
            endif()
          endif()
        endif()
      endif()

      math(EXPR depth "${depth} + ${n_open} - ${n_close}")
      if(depth LESS 0)
        set(depth 0)
      endif()
    endforeach()
  endforeach()
endforeach()

# Kept names that no file of their folder holds any more (one the check did
# not read, such as a function in a local header, still counts as held).
foreach(folder IN LISTS table_folders)
  set(folder_text "")
  foreach(name IN LISTS keep_${folder})
    if("${name}" IN_LIST kept_seen_${folder})
      continue()
    endif()
    if(NOT folder_text)
      file(GLOB folder_files "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.c")
      set(folder_text " ")
      foreach(path IN LISTS folder_files)
        file(READ "${path}" text)
        string(APPEND folder_text "${text}")
      endforeach()
    endif()
    if(NOT folder_text MATCHES "(^|[^A-Za-z0-9_])${name}([^A-Za-z0-9_]|$)")
      list(APPEND faults "${PREFIXES}: ${name} is kept for ${folder}/, which holds no such name")
    endif()
  endforeach()
endforeach()

list(LENGTH faults count)
if(count GREATER 0)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "${count} name(s) break the prefix rule:\n  ${text}")
endif()
message(STATUS "prefixes kept: ${checked_names} names in ${PREFIXES}")
