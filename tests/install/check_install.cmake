# Run by CTest: stage an install of the build tree, then build and run consumer programs.
file(REMOVE_RECURSE ${WORK_DIR})
set(PREFIX ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})

# find_package(Corvex)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/consumer)
run(${WORK_DIR}/cmake-build/dbconsumer)
file(GLOB_RECURSE manpage ${PREFIX}/share/man/man1/corvex.1)
file(GLOB_RECURSE plugin ${PREFIX}/lib*/libcorvexdbreg.so ${PREFIX}/lib*/libcorvextwaindsm.so)
list(LENGTH plugin n)
if(NOT manpage OR NOT n EQUAL 2)
  message(FATAL_ERROR "the install lacks the man page or a plug-in library: ${manpage} ${plugin}")
endif()

# pkg-config corvexctrl
find_program(PKG_CONFIG pkg-config)
find_program(CXX NAMES c++ g++)
if(PKG_CONFIG AND CXX)
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/lib/pkgconfig:${PREFIX}/lib/x86_64-linux-gnu/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs corvexctrl
                  OUTPUT_VARIABLE flags RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know corvexctrl")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(${CXX} -std=c++20 ${SOURCE_DIR}/consumer/main.cpp -o ${WORK_DIR}/pc-consumer ${flags})
  file(GLOB libdirs ${PREFIX}/lib ${PREFIX}/lib/x86_64-linux-gnu)
  string(REPLACE ";" ":" ldpath "${libdirs}")
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${ldpath} ${WORK_DIR}/pc-consumer)
endif()
