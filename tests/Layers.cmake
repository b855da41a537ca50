# The layers, checked by ctest (cmake -P): no folder includes one above it,
# the cipher stands on platform/ alone, and qml-decipher links neither Qt
# nor the data or control libraries.
# In: SOURCE (the source tree), DECIPHER (the program), DECIPHER_LIBS (the
# libraries it links, all levels).
set(faults "")

# An include line of `folder` matching `forbidden` and not `allowed` is a fault.
function(check_includes folder forbidden allowed why)
  file(GLOB_RECURSE files "${SOURCE}/${folder}/*.h" "${SOURCE}/${folder}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(line MATCHES "${forbidden}" AND NOT line MATCHES "${allowed}")
        list(APPEND faults "${file}: ${line} (${why})")
      endif()
    endforeach()
  endforeach()
  set(faults "${faults}" PARENT_SCOPE)
endfunction()

# The folders from the bottom up: each may include its own headers and those
# of the folders before it, never one after it.
set(layers platform data/image data/files data/set data/manager qml controls cipher convert cli app)
set(below "")
foreach(layer IN LISTS layers)
  set(above "")
  set(seen OFF)
  foreach(other IN LISTS layers)
    if(seen)
      list(APPEND above "${other}")
    elseif(other STREQUAL layer)
      set(seen ON)
    endif()
  endforeach()
  if(above)
    list(JOIN above "|" pattern)
    check_includes(${layer} "\"(${pattern})/" "^$" "${layer} is below it")
  endif()
endforeach()
# Standard headers and the compiler's vector intrinsics are allowed too.
check_includes(cipher "." "(\"(platform|cipher)/[^\"]+\"|<[a-z_]+>|<[a-z]+intrin\\.h>)"
               "the cipher needs platform/ and the standard library only")

foreach(lib IN LISTS DECIPHER_LIBS)
  if(lib MATCHES "Qt|prt_(image|set|manager|files|controls|qml|convert|builder)")
    list(APPEND faults "qml-decipher links ${lib}")
  endif()
endforeach()
execute_process(COMMAND ldd "${DECIPHER}" OUTPUT_VARIABLE ldd RESULT_VARIABLE lddResult)
if(NOT lddResult EQUAL 0)
  list(APPEND faults "ldd ${DECIPHER} failed")
elseif(ldd MATCHES "libQt[^ ]*")
  list(APPEND faults "qml-decipher loads ${CMAKE_MATCH_0}")
endif()

if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "Layering broken:\n${text}")
endif()
