# Installs the build into a scratch prefix, then builds and runs an outside
# project against it twice: through the CMake package and through pkg-config.
set(prefix ${BIN}/install-check/prefix)
set(work ${BIN}/install-check/consumer)
file(REMOVE_RECURSE ${BIN}/install-check)

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BIN} --prefix ${prefix} --component Unspecified
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed")
endif()

# The installed headers stand alone: whatever one includes in quotes is
# installed too, and none of the library's inner headers is.
file(GLOB_RECURSE installed_headers RELATIVE ${prefix}/include/brindle ${prefix}/include/brindle/*.h)
foreach(hdr ${installed_headers})
  file(STRINGS ${prefix}/include/brindle/${hdr} includes REGEX "^#include \"")
  foreach(line ${includes})
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" inc "${line}")
    get_filename_component(dir ${hdr} DIRECTORY)
    if(NOT EXISTS ${prefix}/include/brindle/${inc} AND NOT EXISTS ${prefix}/include/brindle/${dir}/${inc})
      message(FATAL_ERROR "installed ${hdr} includes ${inc}, which is not installed")
    endif()
  endforeach()
endforeach()
foreach(inner Platform/dde/DdeReactor.h Platform/dde/DdeWire.h Platform/RegistryStore.h Brindle/regexp/RegExpProgram.h)
  if(EXISTS ${prefix}/include/brindle/${inner})
    message(FATAL_ERROR "inner header ${inner} is installed")
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${SRC}/tests/install/consumer -B ${work} -G Ninja
                        -DCMAKE_PREFIX_PATH=${prefix} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer configure failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${work} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer build failed")
endif()
file(GLOB libdirs ${prefix}/lib*)
set(ENV{LD_LIBRARY_PATH} "${prefix}/lib:${prefix}/lib64:${prefix}/lib/x86_64-linux-gnu")
execute_process(COMMAND ${work}/consumer ${work} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(rc OR NOT out MATCHES "consumer ok")
  message(FATAL_ERROR "consumer run failed: ${out}")
endif()

# pkg-config route: plain g++ with the flags brindle.pc gives.
find_program(PKGCONFIG pkg-config REQUIRED)
file(GLOB_RECURSE pcfile ${prefix}/*/brindle.pc)
get_filename_component(pcdir "${pcfile}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pcdir})
execute_process(COMMAND ${PKGCONFIG} --cflags --libs brindle OUTPUT_VARIABLE flags RESULT_VARIABLE rc
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(rc)
  message(FATAL_ERROR "pkg-config does not know brindle")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
execute_process(COMMAND c++ ${SRC}/tests/install/consumer/main.cpp -o ${work}/consumer-pc ${flags}
                RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "pkg-config build failed")
endif()
execute_process(COMMAND ${work}/consumer-pc ${work} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(rc OR NOT out MATCHES "consumer ok")
  message(FATAL_ERROR "pkg-config consumer run failed: ${out}")
endif()
message(STATUS "installed package builds and runs")
