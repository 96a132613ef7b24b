# morvane_export_table(<target> <def-file> <source>...): links <target> (a
# DLL) with the export table of <def-file>, leaving out the exports whose
# function none of <source> defines yet, and names those.  The table thus
# grows with the exports' code and never breaks the link on a function
# still being written.
function(morvane_export_table target def_file)
  set(code "")
  foreach(source IN LISTS ARGN)
    file(READ ${source} text)
    string(APPEND code "${text}")
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file} ${ARGN})

  # Comment lines are skipped: their ';' would split the list.
  file(STRINGS ${def_file} lines REGEX "^[^;]")
  set(table "")
  set(missing "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" entry)
    if(entry MATCHES "^(LIBRARY|EXPORTS)")
      string(APPEND table "${entry}\n")
      continue()
    endif()
    # "Exported=Internal" exports Internal under another name; a mingw C++
    # name carries the function's name after its length.
    string(REGEX REPLACE "^.*=" "" internal "${entry}")
    set(function ${internal})
    if(internal MATCHES "^_Z([0-9]+)(.*)$")
      string(SUBSTRING "${CMAKE_MATCH_2}" 0 ${CMAKE_MATCH_1} function)
    endif()
    if(code MATCHES "[^A-Za-z0-9_]${function}\\(")
      string(APPEND table "    ${entry}\n")
    else()
      list(APPEND missing ${entry})
    endif()
  endforeach()
  if(missing)
    list(JOIN missing " " names)
    message(STATUS "Exports not defined yet, left out of ${target}'s table: ${names}")
  endif()

  get_filename_component(name ${def_file} NAME)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${name})
  file(WRITE ${generated}.new "${table}")
  configure_file(${generated}.new ${generated} COPYONLY)
  target_sources(${target} PRIVATE ${generated})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${generated})
endfunction()
