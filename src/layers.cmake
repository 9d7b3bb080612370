# Checks that includes only point down the library's layers, and that the
# driver kit, the drivers and the LISP binding see no more of the library's
# private headers than they are allowed. Run as
#   cmake -DROOT=<source tree> -P layers.cmake
# and fails naming each file and the header it must not include.
cmake_minimum_required(VERSION 3.20)

# The layers from the bottom up, and the headers of each. A file may include
# headers of its own layer and of those below it.
set(layers base memory config error unicode resources pack data columns link appl)
set(base      zqlsys.h zqltry.h zqlspin.h zqlucode.h zqlclass.h)
set(memory    salloc.h)
set(config    zqlio.h zqlconf.h confint.h)
set(error     zqldiag.h zqlxmf.h)
set(unicode   ucdefs.h ucload.h)
set(resources)
set(pack      objpack.h)
set(data      zqlsbase.h zqlsnum.h zqlschar.h zqlsbit.h zqlstime.h zqlsimpl.h
              zqlsdata.h)
set(columns   zqlident.h zqlcol.h)
set(link      zqlproto.h zqldda.h ipcux.h uxlink.h ipclink.h zqldispa.h)
set(appl      zqlsql.h zqlstm.h zqlappl.h zqlddk.h)

# The layer of each source folder, and of the files whose role lies in
# another layer than their folder's.
set(folder_memory memory)
set(folder_config config)
set(folder_error error)
set(folder_unicode unicode)
set(folder_data data)
set(folder_link link)
set(folder_appl appl)
set(file_src/error/resdata.cpp resources)  # starts the settings and Unicode
set(file_src/link/objpack.cpp pack)
set(file_src/link/cpuspark.cpp pack)

set(rank 0)
foreach(layer ${layers})
  foreach(h ${${layer}})
    set(rank_of_${h} ${rank})
    set(layer_of_${h} ${layer})
  endforeach()
  set(rank_of_layer_${layer} ${rank})
  math(EXPR rank "${rank} + 1")
endforeach()

function(complain file header why)
  message(SEND_ERROR "${file}: includes ${header}: ${why}")
endfunction()

# Quoted includes of one file, by header name.
function(includes_of path out)
  file(STRINGS ${path} lines REGEX "^#include \"[^\"]+\"")
  set(names)
  foreach(line ${lines})
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" name "${line}")
    list(APPEND names ${name})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# The library: sources and headers include nothing of a layer above theirs.
file(GLOB lib_files RELATIVE ${ROOT} ${ROOT}/src/*/*.cpp ${ROOT}/inc/*/*.h)
foreach(file ${lib_files})
  get_filename_component(name ${file} NAME)
  if(file MATCHES "^inc/")
    set(layer ${layer_of_${name}})
  elseif(DEFINED file_${file})
    set(layer ${file_${file}})
  else()
    string(REGEX REPLACE "^src/([^/]+)/.*" "\\1" folder ${file})
    set(layer ${folder_${folder}})
  endif()
  if(NOT layer)
    complain(${file} "-" "the file has no layer; add it to src/layers.cmake")
    continue()
  endif()
  includes_of(${ROOT}/${file} headers)
  foreach(h ${headers})
    if(DEFINED rank_of_${h} AND rank_of_${h} GREATER rank_of_layer_${layer})
      complain(${file} ${h} "${layer_of_${h}} lies above ${layer}")
    endif()
  endforeach()
endforeach()

# Outside the library, the private headers each part may use.
set(private_of_drivers/kit objpack.h)
set(private_of_drivers/sqlite)
set(private_of_drivers/pg)
set(private_of_lisp/src zqlxmf.h)
file(GLOB private_headers RELATIVE ${ROOT}/inc/priv ${ROOT}/inc/priv/*.h)
foreach(part drivers/kit drivers/sqlite drivers/pg lisp/src)
  file(GLOB files RELATIVE ${ROOT} ${ROOT}/${part}/*.cpp ${ROOT}/${part}/*.h)
  foreach(file ${files})
    includes_of(${ROOT}/${file} headers)
    foreach(h ${headers})
      if(h IN_LIST private_headers AND NOT h IN_LIST private_of_${part})
        complain(${file} ${h} "a private header of the library")
      endif()
    endforeach()
  endforeach()
endforeach()
