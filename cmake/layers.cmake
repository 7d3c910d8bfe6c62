# Reads the layer table (cmake/layers.txt, its format is described at its top)
# for the build and for the checks of includes and file heads.
#
# quorvel_layers_read(<root> <table>) sets in the caller's scope:
#   QUORVEL_LAYERS            the layer names, lowest first
#   QUORVEL_LAYER_<name>      the layer's files (.h, .cpp, .c), relative to <root>
#   QUORVEL_LAYER_OF_<file>   the index in QUORVEL_LAYERS of a layered file

cmake_policy(SET CMP0057 NEW)  # IN_LIST, also when run as a script

# Headers of the system libraries only plat/ may include.
set(QUORVEL_PLATFORM_HEADERS
    "^(SDL2?/|SDL[_.]|GL/|GLES|epoxy/|AL/|gtk/|gdk/|gdk-pixbuf|glib|gio/|ft2build\\.h|freetype/|fontconfig/|png\\.h|pngconf\\.h|jpeglib\\.h|X11/)")

# For the checks run as scripts (cmake -P): stops with the usage line unless
# ROOT is given, lets TABLE default to <ROOT>/cmake/layers.txt, and reads it.
macro(quorvel_layers_read_for_check usage)
  if(NOT ROOT)
    message(FATAL_ERROR "usage: ${usage}")
  endif()
  if(NOT TABLE)
    set(TABLE "${ROOT}/cmake/layers.txt")
  endif()
  quorvel_layers_read("${ROOT}" "${TABLE}")
endmacro()

# The words of one line of a table (layers.txt, prefixes.txt): what stands
# before a "#", split at blanks; empty for a blank or comment line.
macro(quorvel_table_words line words)
  string(REGEX REPLACE "#.*" "" ${line} "${${line}}")
  string(REGEX MATCHALL "[^ \t]+" ${words} "${${line}}")
endmacro()

function(quorvel_layers_read root table)
  file(STRINGS "${table}" lines)
  set(layers "")
  set(folders "")
  set(index 0)
  foreach(line IN LISTS lines)
    quorvel_table_words(line words)
    if(NOT words)
      continue()
    endif()
    list(POP_FRONT words name)
    if(name IN_LIST layers OR NOT name MATCHES "^[a-z0-9_]+$")
      message(FATAL_ERROR "${table}: layer name '${name}' repeated or not lower_snake_case")
    endif()
    list(APPEND layers ${name})
    foreach(folder IN LISTS words)
      if(folder MATCHES "/")
        message(FATAL_ERROR "${table}: '${folder}' is not a folder name: the table lists folders only")
      endif()
      if(DEFINED folder_layer_${folder})
        message(FATAL_ERROR "${table}: folder '${folder}' is in two layers")
      endif()
      set(folder_layer_${folder} ${index})
      list(APPEND folders ${folder})
    endforeach()
    set(files_${index} "")
    math(EXPR index "${index} + 1")
  endforeach()

  foreach(folder IN LISTS folders)
    if(NOT IS_DIRECTORY "${root}/${folder}")
      continue()  # a layer declared ahead of its folder
    endif()
    set(globs "${root}/${folder}/*.h" "${root}/${folder}/*.cpp" "${root}/${folder}/*.c")
    if(CMAKE_SCRIPT_MODE_FILE)
      file(GLOB found RELATIVE "${root}" ${globs})
    else()
      file(GLOB found RELATIVE "${root}" CONFIGURE_DEPENDS ${globs})
    endif()
    list(SORT found)
    set(layer ${folder_layer_${folder}})
    list(APPEND files_${layer} ${found})
    foreach(file IN LISTS found)
      set(QUORVEL_LAYER_OF_${file} ${layer} PARENT_SCOPE)
    endforeach()
  endforeach()

  set(index 0)
  foreach(name IN LISTS layers)
    set(QUORVEL_LAYER_${name} ${files_${index}} PARENT_SCOPE)
    math(EXPR index "${index} + 1")
  endforeach()
  set(QUORVEL_LAYERS ${layers} PARENT_SCOPE)
endfunction()
