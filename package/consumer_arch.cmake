# The consumer's architecture, as Brenquisat's packages name it: win32, win64 or
# arm64; "any" where no language is enabled yet; empty for another.  MSVC and
# clang-cl name the processor they build for (ARM64EC is x64-compatible: it takes
# the x64 DLL); MinGW toolchains give it as CMAKE_SYSTEM_PROCESSOR.
if(NOT CMAKE_SIZEOF_VOID_P)
    set(_brenquisat_arch any)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_brenquisat_arch win32)
elseif(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_brenquisat_arch "")
elseif("ARM64" IN_LIST CMAKE_C_COMPILER_ARCHITECTURE_ID OR "ARM64" IN_LIST CMAKE_CXX_COMPILER_ARCHITECTURE_ID)
    set(_brenquisat_arch arm64)
elseif(NOT CMAKE_C_COMPILER_ARCHITECTURE_ID AND NOT CMAKE_CXX_COMPILER_ARCHITECTURE_ID
       AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|ARM64|arm64)$")
    set(_brenquisat_arch arm64)
else()
    set(_brenquisat_arch win64)
endif()
