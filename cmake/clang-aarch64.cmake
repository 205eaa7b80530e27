# Windows on Arm (PE32+, ARM64), cross-built with the clang and lld of Debian's
# clang and lld packages, whatever LLVM release they bring, against MinGW-w64's
# headers.  Debian has no MinGW-w64 runtime for aarch64-w64-mingw32: no C
# runtime, and no import libraries of the system's DLLs.  So what is built here
# uses the system DLLs alone:
#   - the import libraries it links against are made, on configure, from the
#     .def files in aarch64-w64-mingw32/ beside this file, with GUID_NULL (which
#     MinGW-w64's libuuid holds for the x86 targets) from its uuid.c;
#   - kernel32 and user32 are linked by default; dsound, version and uuid on request;
#   - the library enters at its DllMain, as on every architecture (CMakeLists.txt);
#     a program's entry is mainCRTStartup, which it defines itself, ending with
#     ExitProcess.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(MINGW_TRIPLE aarch64-w64-mingw32)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLE})

# LLVM's other tools, of clang's own release, from its folder: Debian 12's llvm
# package gives llvm-windres no unversioned name.
find_program(BRENQUISAT_CLANG clang REQUIRED)
file(REAL_PATH "${BRENQUISAT_CLANG}" _llvm_bin)
get_filename_component(_llvm_bin "${_llvm_bin}" DIRECTORY)
find_program(CMAKE_RC_COMPILER llvm-windres HINTS "${_llvm_bin}" REQUIRED)
find_program(CMAKE_AR llvm-ar HINTS "${_llvm_bin}" REQUIRED)
find_program(LLVM_DLLTOOL llvm-dlltool HINTS "${_llvm_bin}" REQUIRED)

set(_headers /usr/share/mingw-w64/include)
if(NOT EXISTS "${_headers}/windows.h")
    message(FATAL_ERROR "MinGW-w64's headers are missing from ${_headers}: make setup installs mingw-w64-common")
endif()
# Set, not appended to: CMake reads this file more than once.
set(CMAKE_C_FLAGS_INIT "-isystem ${_headers}")
set(CMAKE_CXX_FLAGS_INIT "-isystem ${_headers}")
set(CMAKE_RC_FLAGS_INIT "--target=${MINGW_TRIPLE} -I${_headers}")

# The system's import libraries, in this build tree.  A toolchain file is read
# again for every check CMake compiles: they are made once, and again only when
# their sources change.
set(_imports_source "${CMAKE_CURRENT_LIST_DIR}/${MINGW_TRIPLE}")
set(_imports "${CMAKE_BINARY_DIR}/${MINGW_TRIPLE}-lib")
file(MAKE_DIRECTORY "${_imports}")
file(GLOB _defs "${_imports_source}/*.def")
# A build configures again when they change.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_defs} "${_imports_source}/uuid.c")
foreach(_def IN LISTS _defs)
    get_filename_component(_name "${_def}" NAME_WE)
    if("${_def}" IS_NEWER_THAN "${_imports}/lib${_name}.a")
        execute_process(COMMAND "${LLVM_DLLTOOL}" -m arm64 -d "${_def}" -l "${_imports}/lib${_name}.a"
            RESULT_VARIABLE _failed)
        if(_failed)
            message(FATAL_ERROR "llvm-dlltool could not make lib${_name}.a from ${_def}")
        endif()
    endif()
endforeach()
if("${_imports_source}/uuid.c" IS_NEWER_THAN "${_imports}/libuuid.a")
    execute_process(COMMAND "${BRENQUISAT_CLANG}" --target=${MINGW_TRIPLE} -isystem ${_headers} -O2
            -c "${_imports_source}/uuid.c" -o "${_imports}/uuid.o"
        COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE "${_imports}/libuuid.a")
    execute_process(COMMAND "${CMAKE_AR}" rcD "${_imports}/libuuid.a" "${_imports}/uuid.o"
        COMMAND_ERROR_IS_FATAL ANY)
endif()

set(MINGW_IMPORT_LIBRARIES "${_imports}")
set(_link "-fuse-ld=lld -nostdlib -L${_imports}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_C_STANDARD_LIBRARIES "-lkernel32 -luser32")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lkernel32 -luser32")
# CMake's checks link no program: there is no C runtime to start one.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
