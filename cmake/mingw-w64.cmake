# Cross-build for Windows with Debian's MinGW-w64, for the processor that the
# including toolchain file sets (i686 or x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
# The system DLLs' import libraries, for what links without the compiler's driver.
set(MINGW_IMPORT_LIBRARIES ${CMAKE_FIND_ROOT_PATH}/lib)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
