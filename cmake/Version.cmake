# The version macros of the installed library, from project(VERSION).
configure_file("${CMAKE_CURRENT_LIST_DIR}/QuilloCommonVersion.h.in"
               "${PROJECT_BINARY_DIR}/generated/Common/QuilloCommonVersion.h" @ONLY)

# SONAME: libquillo-common.so.<major>, or .so.0.<minor> while the major version is 0,
# when every minor release may change the interface.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(QUILLO_SOVERSION "0.${PROJECT_VERSION_MINOR}")
else()
  set(QUILLO_SOVERSION "${PROJECT_VERSION_MAJOR}")
endif()
