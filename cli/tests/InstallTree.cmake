# Builds host programs against an installed PriamUtil, with
# find_package(PriamUtil) and with pkg-config, and runs them and the installed
# priamctl. The installed tree comes from one of:
#
# - BUILD_DIR: `cmake --install` of that build into a temporary prefix; the
#   host is SOURCE_DIR's (install_host/), which only constructs a controller.
#   The installed example host (share/doc/PriamUtil/examples/host) is built
#   there too and run against the installed stand-in sidecar: a whole run,
#   one that SIGTERM ends during the launch's wait, and one whose sidecar
#   cannot start.
# - DEB_DIR: the three Debian packages there (libpriamutil1, libpriamutil-dev,
#   priamctl), unpacked with `dpkg-deb -x` into one temporary root: nothing is
#   installed on this machine. The host is the minimal host of the packaged
#   embedding guide, which launches the packaged stand-in sidecar and asks it
#   "info"; the packaged example host is built and tried as the comment at
#   its top says, /usr standing for the temporary root's; the packages must
#   be lintian clean and of version PROJECT_VERSION, and the packaged
#   `priamctl --version` and `priamctl demo` run as well, and the example
#   host of 1.2.0, built against 1.2.0's headers (HOST_1_2_0_DIR), runs
#   against the packaged library.
#
# WORK_DIR: a scratch directory, removed before and after.
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

function(expect_files prefix)
  foreach(expected ${ARGN})
    file(GLOB found ${prefix}/${expected})
    if(NOT found)
      message(FATAL_ERROR "not installed: ${expected}")
    endif()
  endforeach()
endfunction()

# The text between the first fence of the given language after `heading` in
# the Markdown `text` and the fence that closes it.
function(markdown_block text heading language out_var)
  string(FIND "${text}" "\n${heading}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no \"${heading}\" in:\n${text}")
  endif()
  string(SUBSTRING "${text}" ${at} -1 text)
  string(FIND "${text}" "\n```${language}\n" begin)
  if(begin EQUAL -1)
    message(FATAL_ERROR "no ${language} block after \"${heading}\"")
  endif()
  string(LENGTH "\n```${language}\n" fence)
  math(EXPR begin "${begin} + ${fence}")
  string(SUBSTRING "${text}" ${begin} -1 text)
  string(FIND "${text}" "\n```" end)
  string(SUBSTRING "${text}" 0 ${end} text)
  set(${out_var} "${text}\n" PARENT_SCOPE)
endfunction()

# A Priam directory with the installed stand-in and samples, an empty
# configuration directory, and a configuration store that names the template
# directory and where the sidecar logs, all under `dir`.
function(sidecar_layout prefix dir)
  set(samples ${prefix}/share/priamutil/examples)
  file(MAKE_DIRECTORY ${dir}/conf ${dir}/log)
  file(COPY ${samples}/priam/ ${prefix}/share/priamutil/standin/priam.jar DESTINATION ${dir}/priam)
  file(WRITE ${dir}/store.ini "[Cassandra]\nsPriamTemplateDir=${samples}/templates\n"
                              "[EventManager]\nsLogFilesDirectory=${dir}/log\n")
endfunction()

# Run the example host `host` on the layout in `dir`, SIGTERM after
# `term_after` seconds unless it is 0; sets host_status, host_out, host_err.
function(run_example_host prefix host dir term_after)
  set(command ${host} ${dir}/priam ${dir}/conf ${prefix}/share/priamutil/examples/node)
  if(NOT term_after EQUAL 0)
    set(command timeout --preserve-status -s TERM ${term_after} ${command})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ZB_PLATFORM_CONFIG=${dir}/store.ini
                          CQL_PASSWORD=example-Pa55 ${command}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(host_status ${status} PARENT_SCOPE)
  set(host_out "${out}" PARENT_SCOPE)
  set(host_err "${err}" PARENT_SCOPE)
  # Whatever the outcome, no secret stays on disk and no sidecar runs.
  file(READ ${dir}/conf/zbPriam.properties properties)
  string(FIND "${properties}" "example-Pa55" secret)
  if(NOT secret EQUAL -1)
    message(FATAL_ERROR "${host}: the password stayed in zbPriam.properties:\n${err}")
  endif()
  execute_process(COMMAND pgrep -f "zbpriam.config.file=${dir}/conf" RESULT_VARIABLE found
                  OUTPUT_VARIABLE pids)
  if(found EQUAL 0)
    message(FATAL_ERROR "${host}: a sidecar still runs (${pids}):\n${err}")
  endif()
endfunction()

if(DEB_DIR)
  set(root ${WORK_DIR}/root)
  set(prefix ${root}/usr)
  file(MAKE_DIRECTORY ${root})
  foreach(package libpriamutil1 libpriamutil-dev priamctl)
    file(GLOB deb ${DEB_DIR}/${package}_*.deb)
    list(LENGTH deb count)
    if(NOT count EQUAL 1)
      message(FATAL_ERROR "expected one ${package}_*.deb in ${DEB_DIR}, found: ${deb}")
    endif()
    # The packages' version is debian/changelog's; it must be the project's.
    run(dpkg-deb --field ${deb} Version)
    string(STRIP "${LAST_OUTPUT}" version)
    if(NOT version STREQUAL PROJECT_VERSION)
      message(FATAL_ERROR "${deb} has version ${version}, the project ${PROJECT_VERSION}")
    endif()
    run(dpkg-deb -x ${deb} ${root})
    list(APPEND debs ${deb})
  endforeach()
  # Errors and warnings fail; notes do not (the README lists those left).
  run(lintian --fail-on error,warning ${debs})

  file(GLOB libdir ${prefix}/lib/*-*/libpriamutil.so.1)
  get_filename_component(libdir "${libdir}" DIRECTORY)
  set(docdir share/doc/libpriamutil-dev)
  expect_files(${prefix} lib/*/libpriamutil.so.1 lib/*/libzbplatform.so.1
               lib/*/pkgconfig/priamutil.pc lib/*/cmake/PriamUtil/PriamUtilConfig.cmake
               share/doc/libpriamutil1/copyright share/doc/priamctl/copyright
               ${docdir}/copyright)

  # The packaged guide's host and CMake lines (the guide is compressed once
  # it is over 4 KiB, as Debian does with documentation).
  file(GLOB guide ${prefix}/${docdir}/EMBEDDING.md*)
  if(NOT guide)
    message(FATAL_ERROR "libpriamutil-dev has no embedding guide in /usr/${docdir}")
  elseif(guide MATCHES "[.]gz$")
    run(gzip -dc ${guide})
    set(guide_text "${LAST_OUTPUT}")
  else()
    file(READ ${guide} guide_text)
  endif()
  set(host_source ${WORK_DIR}/guide-host)
  markdown_block("${guide_text}" "## A minimal host" cpp host_cpp)
  markdown_block("${guide_text}" "## A minimal host" cmake host_cmake)
  file(WRITE ${host_source}/host.cpp "${host_cpp}")
  file(WRITE ${host_source}/CMakeLists.txt
       "cmake_minimum_required(VERSION 3.25)\nproject(GuideHost LANGUAGES CXX)\n"
       "set(CMAKE_CXX_STANDARD 17)\nadd_executable(host host.cpp)\n${host_cmake}")
else()
  set(prefix ${WORK_DIR}/prefix)
  set(docdir share/doc/PriamUtil)
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
  set(host_source ${SOURCE_DIR})
endif()

# The manual page is compressed in the package. The example host is source
# to build, never compressed.
expect_files(${prefix} bin/priamctl include/priamutil/PriamUtil.h include/priamutil/CYrError.h
             share/priamutil/standin/priam.jar share/priamutil/standin/zblog4j.properties
             share/priamutil/examples/node/cassandra.yaml share/man/man1/priamctl.1*
             ${docdir}/EMBEDDING.md* ${docdir}/examples/host/host.cpp
             ${docdir}/examples/host/CMakeLists.txt)
set(example_host_dir ${prefix}/${docdir}/examples/host)
# The guardian, in priamutil/ beside the library, where the library looks.
file(GLOB_RECURSE guardian ${prefix}/*/zbpriam-guardian)
file(GLOB_RECURSE library ${prefix}/*/libpriamutil.so.1)
get_filename_component(guardian_dir "${guardian}" DIRECTORY)
get_filename_component(library_dir "${library}" DIRECTORY)
if(NOT guardian OR NOT guardian_dir STREQUAL "${library_dir}/priamutil")
  message(FATAL_ERROR "no zbpriam-guardian in priamutil/ beside ${library}: ${guardian}")
endif()
file(GLOB_RECURSE pcfile ${prefix}/*/priamutil.pc)
file(GLOB_RECURSE jars ${prefix}/*.jar)
if(NOT jars STREQUAL "${prefix}/share/priamutil/standin/priam.jar")
  message(FATAL_ERROR "a jar outside share/priamutil/standin: ${jars}")
endif()

# find_package
run(${CMAKE_COMMAND} -S ${host_source} -B ${WORK_DIR}/cmake-host -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-host)

# pkg-config
get_filename_component(pcdir ${pcfile} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pcdir})
run(pkg-config --cflags --libs priamutil)
string(STRIP "${LAST_OUTPUT}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(pkg-config --variable=libdir priamutil)
string(STRIP "${LAST_OUTPUT}" pc_libdir)
run(c++ -std=c++17 ${host_source}/host.cpp -o ${WORK_DIR}/pc-host ${flags} -Wl,-rpath,${pc_libdir})

if(DEB_DIR)
  # Each host runs a sidecar of its own: a Priam directory with the packaged
  # stand-in, the packaged samples, and a configuration store that names the
  # template directory and where the sidecar logs.
  set(samples ${prefix}/share/priamutil/examples)
  foreach(host cmake-host/host pc-host)
    string(MAKE_C_IDENTIFIER ${host} name)
    set(dir ${WORK_DIR}/run-${name})
    sidecar_layout(${prefix} ${dir})
    run(${CMAKE_COMMAND} -E env ZB_PLATFORM_CONFIG=${dir}/store.ini
        ${WORK_DIR}/${host} ${dir}/priam ${dir}/conf ${samples}/node)
    if(NOT LAST_OUTPUT MATCHES "^{.*}\n$")
      message(FATAL_ERROR "${host}: not the sidecar's \"info\" reply: ${LAST_OUTPUT}")
    endif()
  endforeach()

  # The packaged priamctl has no RPATH: its libraries come from the
  # library path, as from /usr/lib/<multiarch> once installed.
  set(priamctl ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} ${prefix}/bin/priamctl)
  run(${priamctl} --version)
  if(NOT LAST_OUTPUT STREQUAL "priamctl ${PROJECT_VERSION}\n")
    message(FATAL_ERROR "priamctl --version printed: ${LAST_OUTPUT}")
  endif()
  run(${priamctl} demo)

  # The packaged example host, built and tried as the comment at its top
  # says, from an empty directory; /usr is the temporary root's, where
  # CMAKE_PREFIX_PATH lets find_package look.
  execute_process(COMMAND sed -n "/^\\/\\/ To try it/,/^[^\\/]/s|^//   ||p"
                          ${example_host_dir}/host.cpp
                  OUTPUT_VARIABLE recipe RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT recipe MATCHES "cmake -S /usr/share/doc/libpriamutil-dev/")
    message(FATAL_ERROR "no way to try it in ${example_host_dir}/host.cpp:\n${recipe}")
  endif()
  string(REPLACE "/usr/" "${prefix}/" recipe "${recipe}")
  set(try ${WORK_DIR}/try-example)
  file(MAKE_DIRECTORY ${try})
  file(WRITE ${WORK_DIR}/try-example.sh "${recipe}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env CMAKE_PREFIX_PATH=${prefix}
                          sh -e ${WORK_DIR}/try-example.sh
                  WORKING_DIRECTORY ${try}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out MATCHES "\n{[^\n]*\"secrets_present\"[^\n]*}\n$")
    message(FATAL_ERROR "the example host, tried as its comment says (${status}):\n"
                        "${recipe}\n${out}\n${err}")
  endif()
  # Its password left the properties, and the stand-in's log is in its
  # output file there.
  file(READ ${try}/conf/zbPriam.properties properties)
  file(READ ${try}/conf/zbPriam.out output)
  if(properties MATCHES "example-only" OR NOT output MATCHES "Starting stand-in Priam sidecar")
    message(FATAL_ERROR "the example host's conf/:\n${properties}\n${output}")
  endif()

  # A host built against 1.2.0's installed headers runs against this
  # library unchanged: a whole run of 1.2.0's example host.
  run(c++ -std=c++17 -I${HOST_1_2_0_DIR}/include ${HOST_1_2_0_DIR}/host.cpp
      -o ${WORK_DIR}/host-1.2.0 -L${libdir} -lpriamutil -lzbplatform -Wl,-rpath,${libdir})
  sidecar_layout(${prefix} ${WORK_DIR}/run-host-1.2.0)
  run_example_host(${prefix} ${WORK_DIR}/host-1.2.0 ${WORK_DIR}/run-host-1.2.0 0)
  if(NOT host_status EQUAL 0 OR NOT host_out MATCHES "^{.*}\n$")
    message(FATAL_ERROR "the host built against 1.2.0 (${host_status}): ${host_out}\n${host_err}")
  endif()
else()
  foreach(host cmake-host/host pc-host)
    run(${WORK_DIR}/${host} ${WORK_DIR})
    if(NOT LAST_OUTPUT STREQUAL "initFailed=0 cqlPort=9042 jmxPort=7199\n")
      message(FATAL_ERROR "unexpected ${host} output: ${LAST_OUTPUT}")
    endif()
  endforeach()
  # The installed priamctl finds its libraries and its help works.
  run(${prefix}/bin/priamctl --help)

  # The example host: built with find_package, then a whole run, a run that
  # SIGTERM ends within the launch's 30-second wait, and a run whose
  # sidecar cannot start, each told apart by its exit status and words.
  run(${CMAKE_COMMAND} -S ${example_host_dir} -B ${WORK_DIR}/example-host
      -DCMAKE_PREFIX_PATH=${prefix})
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/example-host)
  set(example ${WORK_DIR}/example-host/host)
  sidecar_layout(${prefix} ${WORK_DIR}/example-whole)
  run_example_host(${prefix} ${example} ${WORK_DIR}/example-whole 0)
  if(NOT host_status EQUAL 0 OR NOT host_out MATCHES "^{.*\"secrets_present\".*}\n$")
    message(FATAL_ERROR "example host, whole run (${host_status}): ${host_out}\n${host_err}")
  endif()
  sidecar_layout(${prefix} ${WORK_DIR}/example-term)
  run_example_host(${prefix} ${example} ${WORK_DIR}/example-term 5)
  if(NOT host_status EQUAL 143 OR NOT host_err MATCHES "host: cancelled: Cancelled by the host\n")
    message(FATAL_ERROR "example host, SIGTERM (${host_status}): ${host_out}\n${host_err}")
  endif()
  set(broken ${WORK_DIR}/example-broken)
  sidecar_layout(${prefix} ${broken})
  file(WRITE ${broken}/priam/priam.jar "not a jar\n")
  run_example_host(${prefix} ${example} ${broken} 0)
  if(NOT host_status EQUAL 1 OR NOT host_err MATCHES
     "host: the launch failed or was refused: The Priam sidecar exited during its start")
    message(FATAL_ERROR "example host, no sidecar (${host_status}): ${host_out}\n${host_err}")
  endif()
endif()
file(REMOVE_RECURSE ${WORK_DIR})
