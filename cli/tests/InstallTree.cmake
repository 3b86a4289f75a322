# Install the build into a temporary prefix, then build and run a host
# program against it twice: with find_package(PriamUtil) and with
# pkg-config. Arguments: BUILD_DIR, SOURCE_DIR (of the host), WORK_DIR.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(expected bin/priamctl include/priamutil/PriamUtil.h include/priamutil/CYrError.h
        share/priamutil/standin/priam.jar share/priamutil/examples/node/cassandra.yaml
        share/man/man1/priamctl.1)
  if(NOT EXISTS ${prefix}/${expected})
    message(FATAL_ERROR "not installed: ${expected}")
  endif()
endforeach()
file(GLOB_RECURSE pcfile ${prefix}/*/priamutil.pc)
file(GLOB_RECURSE jars ${prefix}/*.jar)
if(NOT jars STREQUAL "${prefix}/share/priamutil/standin/priam.jar")
  message(FATAL_ERROR "a jar outside share/priamutil/standin: ${jars}")
endif()

# find_package
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/cmake-host -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-host)
run(${WORK_DIR}/cmake-host/host ${WORK_DIR})
if(NOT LAST_OUTPUT STREQUAL "initFailed=0 cqlPort=9042 jmxPort=7199\n")
  message(FATAL_ERROR "unexpected host output: ${LAST_OUTPUT}")
endif()

# pkg-config
get_filename_component(pcdir ${pcfile} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pcdir})
run(pkg-config --cflags --libs priamutil)
string(STRIP "${LAST_OUTPUT}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(pkg-config --variable=libdir priamutil)
string(STRIP "${LAST_OUTPUT}" libdir)
run(c++ -std=c++17 ${SOURCE_DIR}/host.cpp -o ${WORK_DIR}/pc-host ${flags} -Wl,-rpath,${libdir})
run(${WORK_DIR}/pc-host ${WORK_DIR})

# The installed priamctl finds its libraries and its help works.
run(${prefix}/bin/priamctl --help)
file(REMOVE_RECURSE ${WORK_DIR})
