/* The one GUID the library uses, which MinGW-w64's libuuid holds for the x86 targets. */
#include <guiddef.h>

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
