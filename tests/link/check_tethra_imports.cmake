# libmorvane.so must take CTethraApp from libtethra.so at load time, the way
# Morvane.dll imports TETHRA.dll: every CTethraApp member it names is an
# undefined symbol, libtethra.so is a needed library and defines each one.
#   cmake -DNM=<nm> -DREADELF=<readelf> -DADAPTER=<libmorvane.so> -DTETHRA=<libtethra.so>
#         -DTETHRA_SONAME=<soname of libtethra> -P check_tethra_imports.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${NM} -D -C ${ADAPTER} OUTPUT_VARIABLE adapter_symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm -D ${ADAPTER} failed")
endif()
execute_process(COMMAND ${NM} -D -C --defined-only ${TETHRA} OUTPUT_VARIABLE tethra_symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm -D ${TETHRA} failed")
endif()

string(REPLACE "\n" ";" adapter_lines "${adapter_symbols}")
set(imported "")
foreach(line IN LISTS adapter_lines)
  if(line MATCHES "CTethraApp::")
    if(NOT line MATCHES "^ +U CTethraApp::(~?[A-Za-z_]+)")
      message(FATAL_ERROR "libmorvane defines a CTethraApp member itself: ${line}")
    endif()
    list(APPEND imported ${CMAKE_MATCH_1})
  endif()
endforeach()

# Members every session uses; the rest depend on which operations are linked in.
foreach(member CTethraApp S_DVXOpenPort S_DVXWaitConnection S_DVXGetConfig S_DVXSetConfig S_DVXGetSystemInfo
               S_DVXGetRecordData S_DVXPutRecordData S_DVXGetAllSyncRecordList S_DVXGetLastError)
  if(NOT member IN_LIST imported)
    message(FATAL_ERROR "libmorvane does not import CTethraApp::${member}")
  endif()
endforeach()

list(REMOVE_DUPLICATES imported)
foreach(member IN LISTS imported)
  if(NOT tethra_symbols MATCHES "CTethraApp::${member}\\(")
    message(FATAL_ERROR "libtethra does not define CTethraApp::${member}")
  endif()
endforeach()

execute_process(COMMAND ${READELF} -d ${ADAPTER} OUTPUT_VARIABLE dynamic)
if(NOT dynamic MATCHES "NEEDED[^\n]*\\[${TETHRA_SONAME}\\]")
  message(FATAL_ERROR "libmorvane does not name ${TETHRA_SONAME} as a needed library")
endif()
list(LENGTH imported count)
message(STATUS "libmorvane imports ${count} CTethraApp members from ${TETHRA_SONAME}")
