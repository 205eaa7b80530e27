# Reads the VC developer archive's CMake files as MSVC would, which this machine
# lacks: a 32-bit and a 64-bit consumer each get their own folder's DLL and
# Brenquisat.lib, and a consumer of another width is refused.
#   cmake -DCONFIG_DIR=<archive>/cmake -DVERSION=<the version built> -P devel_vc_config.cmake
cmake_minimum_required(VERSION 3.25)
# Script mode makes no targets: what the config would make is recorded instead.
function(add_library)
    string(JOIN " " made ${ARGN})
    set(made "${made}" PARENT_SCOPE)
endfunction()
function(set_target_properties target)
    cmake_parse_arguments(PARSE_ARGV 1 made "" "IMPORTED_LOCATION;IMPORTED_IMPLIB;INTERFACE_INCLUDE_DIRECTORIES" "")
    set(dll "${made_IMPORTED_LOCATION}" PARENT_SCOPE)
    set(implib "${made_IMPORTED_IMPLIB}" PARENT_SCOPE)
    set(include "${made_INTERFACE_INCLUDE_DIRECTORIES}" PARENT_SCOPE)
endfunction()

set(MSVC 1)
foreach(CMAKE_SIZEOF_VOID_P 4 8 2)
    set(folder x86)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(folder x64)
    endif()
    unset(PACKAGE_VERSION_UNSUITABLE)
    include(${CONFIG_DIR}/BrenquisatConfigVersion.cmake)
    if(CMAKE_SIZEOF_VOID_P EQUAL 2)
        if(NOT PACKAGE_VERSION_UNSUITABLE)
            message(FATAL_ERROR "devel_vc_config: a consumer of 2-byte pointers was not refused")
        endif()
        break()
    endif()
    include(${CONFIG_DIR}/BrenquisatConfig.cmake)
    if(PACKAGE_VERSION_UNSUITABLE OR NOT made STREQUAL "Brenquisat::Brenquisat SHARED IMPORTED"
       OR NOT dll MATCHES "/lib/${folder}/Brenquisat.dll$" OR NOT EXISTS "${dll}"
       OR NOT implib MATCHES "/lib/${folder}/Brenquisat.lib$" OR NOT EXISTS "${implib}"
       OR NOT EXISTS "${include}/brenquisat.h")
        message(FATAL_ERROR "devel_vc_config: an MSVC consumer of ${CMAKE_SIZEOF_VOID_P}-byte pointers "
                "got '${made}' with DLL '${dll}', import library '${implib}', include '${include}' "
                "(unsuitable: '${PACKAGE_VERSION_UNSUITABLE}')")
    endif()
endforeach()

# A consumer asking for any release of this major version up to this one gets it;
# one asking for the next major version is refused.
set(CMAKE_SIZEOF_VOID_P 8)
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)" version "${VERSION}")
math(EXPR next_major "${CMAKE_MATCH_1} + 1")
foreach(minor RANGE ${CMAKE_MATCH_2})
    list(APPEND requests "${CMAKE_MATCH_1}.${minor}")
endforeach()
foreach(PACKAGE_FIND_VERSION ${requests} ${next_major}.0)
    string(REGEX MATCH "^[0-9]+" PACKAGE_FIND_VERSION_MAJOR "${PACKAGE_FIND_VERSION}")
    unset(PACKAGE_VERSION_COMPATIBLE)
    include(${CONFIG_DIR}/BrenquisatConfigVersion.cmake)
    set(expected FALSE)
    if(PACKAGE_FIND_VERSION IN_LIST requests)
        set(expected TRUE)
    endif()
    if(NOT PACKAGE_VERSION STREQUAL VERSION
       OR (PACKAGE_VERSION_COMPATIBLE AND NOT expected) OR (expected AND NOT PACKAGE_VERSION_COMPATIBLE))
        message(FATAL_ERROR "devel_vc_config: version ${PACKAGE_VERSION} asked for ${PACKAGE_FIND_VERSION}: "
                "compatible is '${PACKAGE_VERSION_COMPATIBLE}'")
    endif()
endforeach()
message("devel_vc_config: MSVC consumers get lib/x86 and lib/x64; other widths are refused; "
        "${requests} find ${PACKAGE_VERSION}, ${next_major}.0 does not")
