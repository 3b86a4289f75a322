# What `cmake --install` puts where. The Debian packages (debian/) split the
# same tree into libpriamutil1, libpriamutil-dev and priamctl.
include(CMakePackageConfigHelpers)

set(PRIAMUTIL_INCLUDE_SUBDIR ${CMAKE_INSTALL_INCLUDEDIR}/priamutil)
set(PRIAMUTIL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PriamUtil)
set(PRIAMUTIL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/priamutil)

target_include_directories(priamutil PUBLIC $<INSTALL_INTERFACE:${PRIAMUTIL_INCLUDE_SUBDIR}>)
target_include_directories(zbplatform PUBLIC $<INSTALL_INTERFACE:${PRIAMUTIL_INCLUDE_SUBDIR}>)

install(TARGETS priamutil zbplatform EXPORT PriamUtilTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS priamctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/cli/priamctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The public header, the names of its error codes, and the platform headers
# a host needs with it: the error and string types of its interface, and
# the log writer a host installs.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/priamutil/ DESTINATION ${PRIAMUTIL_INCLUDE_SUBDIR})

install(EXPORT PriamUtilTargets NAMESPACE PriamUtil:: DESTINATION ${PRIAMUTIL_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/PriamUtilConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/PriamUtilConfig.cmake
  INSTALL_DESTINATION ${PRIAMUTIL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/PriamUtilConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/PriamUtilConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/PriamUtilConfigVersion.cmake
        DESTINATION ${PRIAMUTIL_CMAKE_DIR})

# The prefix is found from the .pc file's own place, so that a staged or
# relocated install (the .deb, a test's temporary prefix) points at itself.
file(RELATIVE_PATH PRIAMUTIL_PC_TO_PREFIX
     ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(${CMAKE_CURRENT_LIST_DIR}/priamutil.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/priamutil.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/priamutil.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The stand-in sidecar is for the demo and for trying a host only: it never
# goes where a real priam.jar is looked for. With its log4j template beside
# it, standin/ is a whole Priam directory.
get_target_property(PRIAMUTIL_STANDIN_JAR priam_standin_jar JAR_FILE)
install(FILES ${PRIAMUTIL_STANDIN_JAR} ${PROJECT_SOURCE_DIR}/sidecar/zblog4j.properties
        DESTINATION ${PRIAMUTIL_DATA_DIR}/standin)
# The sample node and Priam files; the example host is source to read and
# build, not data.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${PRIAMUTIL_DATA_DIR}/examples
        PATTERN host EXCLUDE)
# What a host's developer reads: the embedding guide, and the example host
# beside it. The Debian build names the directory after libpriamutil-dev.
install(FILES ${PROJECT_SOURCE_DIR}/EMBEDDING.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/host DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The Debian package build passes its changelog's version: a package whose
# version is not the project's must not be built.
set(PRIAMUTIL_PACKAGE_VERSION "" CACHE STRING
    "Version of the package being built (debian/changelog); must equal the project version")
if(PRIAMUTIL_PACKAGE_VERSION AND NOT PRIAMUTIL_PACKAGE_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "debian/changelog says ${PRIAMUTIL_PACKAGE_VERSION}, the project "
                      "version is ${PROJECT_VERSION}: add a changelog entry for ${PROJECT_VERSION}")
endif()
