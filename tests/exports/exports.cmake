# Checks what the shared library exports: every symbol it defines carries the
# library's prefix, and nothing declared only in a private header (other
# than the two the driver kit and the LISP binding use) is exported. Run as
#   cmake -DLIB=<libzql.so> -DPRIV=<inc/priv> -DNM=<nm> -P exports.cmake
cmake_minimum_required(VERSION 3.20)

execute_process(COMMAND ${NM} -D --defined-only -C ${LIB}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIB}")
endif()
string(REPLACE "\n" ";" lines "${out}")

# Strong definitions (text, data, bss, read-only); weak ones are template and
# inline instances that follow their arguments' visibility.
set(names)
foreach(line ${lines})
  if(line MATCHES "^[0-9a-f]+ [TDBR] (__odr_asan\\.)?(.*)$")
    # (AddressSanitizer adds an __odr_asan. twin of each global.)
    list(APPEND names "${CMAKE_MATCH_2}")
  endif()
endforeach()
list(LENGTH names count)
if(count LESS 100)
  message(FATAL_ERROR "only ${count} symbols exported from ${LIB}")
endif()

set(prefix "^((typeinfo name|typeinfo|vtable|VTT) for )?(CZql|SZql|EZql|Zql|kZql|TEST_Zql|zql_)")
foreach(name ${names})
  # Free operators count as the library's when they take one of its types.
  if(NOT name MATCHES "${prefix}" AND NOT name MATCHES "^operator.*\\(.*[CS]Zql")
    message(SEND_ERROR "exported without the library's prefix: ${name}")
  endif()
endforeach()

# Functions and classes the hidden private headers declare: a class
# definition, or a function declared at the start of a line.
file(GLOB headers ${PRIV}/*.h)
list(FILTER headers EXCLUDE REGEX "/(objpack|zqlxmf)\\.h$")
set(class_decl "^(class|struct) ([CS]Zql[A-Za-z0-9_]*)( final)?( :| {|$)")
set(func_decl "^[A-Za-z_][A-Za-z0-9_:<>, ]*[ *&](Zql[A-Za-z0-9_]*)\\(")
set(hidden)
foreach(header ${headers})
  file(STRINGS ${header} decls REGEX "(${class_decl})|(${func_decl})")
  foreach(decl ${decls})
    if(decl MATCHES "${class_decl}")
      list(APPEND hidden ${CMAKE_MATCH_2})
    elseif(decl MATCHES "${func_decl}")
      list(APPEND hidden ${CMAKE_MATCH_1})
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES hidden)
list(LENGTH hidden hidden_count)
if(hidden_count LESS 20)
  message(FATAL_ERROR "found only ${hidden_count} private declarations in ${PRIV}")
endif()
foreach(name ${names})
  string(REGEX REPLACE "^((typeinfo name|typeinfo|vtable|VTT) for )" "" bare "${name}")
  string(REGEX REPLACE "[(:<].*$" "" bare "${bare}")
  if(bare IN_LIST hidden)
    message(SEND_ERROR "exported although private: ${name}")
  endif()
endforeach()
