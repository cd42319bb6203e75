# Reads config/environments.json (host names and OAuth client identities of the
# four environments) and generates the header the environment table is built from.
set(_cfg_file "${PROJECT_SOURCE_DIR}/config/environments.json")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_cfg_file}")
file(READ "${_cfg_file}" _cfg)

string(JSON QUILLO_DEV_SERVER_ADDRESS GET "${_cfg}" development_server_address)
foreach(env local staging production tfc)
  string(TOUPPER "${env}" ENV)
  foreach(key host client_id client_secret)
    string(TOUPPER "${key}" KEY)
    string(JSON value GET "${_cfg}" environments ${env} ${key})
    if(key MATCHES "^client_" AND NOT value MATCHES "^[0-9a-f]+$")
      message(FATAL_ERROR "${_cfg_file}: ${env}.${key} must be lowercase hexadecimal")
    endif()
    if(key MATCHES "^client_")
      string(LENGTH "${value}" len)
      if(NOT len EQUAL 64)
        message(FATAL_ERROR "${_cfg_file}: ${env}.${key} must be 64 characters")
      endif()
    endif()
    set(QUILLO_${ENV}_${KEY} "${value}")
  endforeach()
endforeach()

configure_file("${PROJECT_SOURCE_DIR}/config/EnvironmentConfiguration.h.in"
               "${PROJECT_BINARY_DIR}/generated/Common/connection/EnvironmentConfiguration.h" @ONLY)
