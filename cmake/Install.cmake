# cmake --install: the libraries, the public headers under include/quillo/, a CMake package
# (find_package(QuilloCommon) gives Quillo::Common, Quillo::CommonStatic, Quillo::Platform)
# and quillo-common.pc.
include(CMakePackageConfigHelpers)

set(QUILLO_INCLUDE_SUBDIR "${CMAKE_INSTALL_INCLUDEDIR}/quillo")

# Headers only the library's own sources include live in internal/ folders (namespace
# detail) and are never installed.
file(GLOB_RECURSE _quillo_headers RELATIVE "${PROJECT_SOURCE_DIR}" CONFIGURE_DEPENDS
  "${PROJECT_SOURCE_DIR}/Platform/*.h" "${PROJECT_SOURCE_DIR}/Common/*.h")
list(FILTER _quillo_headers EXCLUDE REGEX "(^|/)internal/")
foreach(header IN LISTS _quillo_headers)
  get_filename_component(dir "${header}" DIRECTORY)
  install(FILES "${PROJECT_SOURCE_DIR}/${header}" DESTINATION "${QUILLO_INCLUDE_SUBDIR}/${dir}"
          COMPONENT Development)
endforeach()
install(FILES "${PROJECT_BINARY_DIR}/generated/Common/QuilloCommonVersion.h"
        DESTINATION "${QUILLO_INCLUDE_SUBDIR}/Common" COMPONENT Development)

install(TARGETS CommonShared EXPORT QuilloCommonTargets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT Runtime NAMELINK_COMPONENT Development)
install(TARGETS Common Platform EXPORT QuilloCommonTargets
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT Development)

set(QUILLO_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/QuilloCommon")
install(EXPORT QuilloCommonTargets NAMESPACE Quillo:: DESTINATION "${QUILLO_CMAKE_DIR}"
        COMPONENT Development)
configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/QuilloCommonConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/package/QuilloCommonConfig.cmake" INSTALL_DESTINATION "${QUILLO_CMAKE_DIR}")
# While the major version is 0 a minor release may break the interface, so only the
# same minor version is compatible (the SONAME says the same).
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(_quillo_compatibility SameMinorVersion)
else()
  set(_quillo_compatibility SameMajorVersion)
endif()
write_basic_package_version_file("${PROJECT_BINARY_DIR}/package/QuilloCommonConfigVersion.cmake"
  COMPATIBILITY ${_quillo_compatibility})
install(FILES "${PROJECT_BINARY_DIR}/package/QuilloCommonConfig.cmake"
              "${PROJECT_BINARY_DIR}/package/QuilloCommonConfigVersion.cmake"
        DESTINATION "${QUILLO_CMAKE_DIR}" COMPONENT Development)

# The .pc file finds its prefix from its own place, so it stays right after
# `cmake --install --prefix` and when the tree is moved.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  message(FATAL_ERROR "quillo-common.pc needs CMAKE_INSTALL_LIBDIR relative to the prefix")
endif()
file(RELATIVE_PATH QUILLO_PC_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" QUILLO_PC_PREFIX "${QUILLO_PC_PREFIX}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/quillo-common.pc.in" "${PROJECT_BINARY_DIR}/package/quillo-common.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/package/quillo-common.pc"
        DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT Development)

