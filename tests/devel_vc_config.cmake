# Reads the VC developer archive's CMake files as MSVC would, which this machine
# lacks: 32-bit, 64-bit and ARM64 consumers each get their own folder's DLL and
# Brenquisat.lib (an ARM64EC one, which loads x64 DLLs, the x64 folder's), and a
# consumer of another width is refused.
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
# Pointer size, what MSVC names the processor it builds for, and the folder expected.
foreach(consumer "4 X86 x86" "8 x64 x64" "8 ARM64 arm64" "8 ARM64EC x64" "2 - refused")
    separate_arguments(consumer)
    list(GET consumer 0 CMAKE_SIZEOF_VOID_P)
    list(GET consumer 1 CMAKE_C_COMPILER_ARCHITECTURE_ID)
    list(GET consumer 2 folder)
    unset(PACKAGE_VERSION_UNSUITABLE)
    include(${CONFIG_DIR}/BrenquisatConfigVersion.cmake)
    if(folder STREQUAL "refused")
        if(NOT PACKAGE_VERSION_UNSUITABLE)
            message(FATAL_ERROR "devel_vc_config: a consumer of 2-byte pointers was not refused")
        endif()
        continue()
    endif()
    include(${CONFIG_DIR}/BrenquisatConfig.cmake)
    if(PACKAGE_VERSION_UNSUITABLE OR NOT made STREQUAL "Brenquisat::Brenquisat SHARED IMPORTED"
       OR NOT dll MATCHES "/lib/${folder}/Brenquisat.dll$" OR NOT EXISTS "${dll}"
       OR NOT implib MATCHES "/lib/${folder}/Brenquisat.lib$" OR NOT EXISTS "${implib}"
       OR NOT EXISTS "${include}/brenquisat.h")
        message(FATAL_ERROR "devel_vc_config: an MSVC consumer of ${CMAKE_SIZEOF_VOID_P}-byte pointers "
                "building for ${CMAKE_C_COMPILER_ARCHITECTURE_ID} got '${made}' with DLL '${dll}', "
                "import library '${implib}', include '${include}' (unsuitable: '${PACKAGE_VERSION_UNSUITABLE}')")
    endif()
endforeach()
set(CMAKE_C_COMPILER_ARCHITECTURE_ID x64)

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
message("devel_vc_config: MSVC consumers get lib/x86, lib/x64 and lib/arm64; other widths are refused; "
        "${requests} find ${PACKAGE_VERSION}, ${next_major}.0 does not")
