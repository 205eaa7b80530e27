# Checks the VC developer archive's CMake files without MSVC, which this machine
# lacks: as MSVC, a 32-bit and a 64-bit consumer each get their own folder's
# DLL and Brenquisat.lib, and a consumer of another width is refused.
#   cmake -DCONFIG_DIR=<archive>/cmake -P devel_vc_config.cmake
# Targets cannot be made in script mode: the two commands that make one record
# what they are given instead.
cmake_minimum_required(VERSION 3.25)
function(add_library)
    string(JOIN " " made ${ARGN})
    set(target_made "${made}" PARENT_SCOPE)
endfunction()
function(set_target_properties)
    set(target_properties "${ARGN}" PARENT_SCOPE)
endfunction()

set(MSVC 1)
set(failures 0)
foreach(width 4:x86 8:x64)
    string(REPLACE ":" ";" width "${width}")
    list(GET width 0 CMAKE_SIZEOF_VOID_P)
    list(GET width 1 folder)
    unset(PACKAGE_VERSION_UNSUITABLE)
    include(${CONFIG_DIR}/BrenquisatConfigVersion.cmake)
    include(${CONFIG_DIR}/BrenquisatConfig.cmake)
    cmake_parse_arguments(made "" "IMPORTED_LOCATION;IMPORTED_IMPLIB;INTERFACE_INCLUDE_DIRECTORIES" ""
        ${target_properties})
    if(PACKAGE_VERSION_UNSUITABLE OR NOT target_made STREQUAL "Brenquisat::Brenquisat SHARED IMPORTED"
       OR NOT made_IMPORTED_LOCATION MATCHES "/lib/${folder}/Brenquisat.dll$"
       OR NOT made_IMPORTED_IMPLIB MATCHES "/lib/${folder}/Brenquisat.lib$"
       OR NOT EXISTS "${made_IMPORTED_LOCATION}" OR NOT EXISTS "${made_IMPORTED_IMPLIB}"
       OR NOT EXISTS "${made_INTERFACE_INCLUDE_DIRECTORIES}/brenquisat.h")
        message("devel_vc_config: a ${CMAKE_SIZEOF_VOID_P}-byte-pointer MSVC consumer got "
                "'${target_made}' with ${target_properties} (unsuitable: ${PACKAGE_VERSION_UNSUITABLE})")
        math(EXPR failures "${failures} + 1")
    endif()
endforeach()

set(CMAKE_SIZEOF_VOID_P 2)
unset(PACKAGE_VERSION_UNSUITABLE)
include(${CONFIG_DIR}/BrenquisatConfigVersion.cmake)
if(NOT PACKAGE_VERSION_UNSUITABLE)
    message("devel_vc_config: a 2-byte-pointer consumer was not refused")
    math(EXPR failures "${failures} + 1")
endif()

if(failures)
    message(FATAL_ERROR "devel_vc_config: ${failures} failed")
endif()
message("devel_vc_config: x86 and x64 picked for MSVC, other widths refused")
