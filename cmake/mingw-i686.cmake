# Cross-build for 32-bit Windows with Debian's mingw-w64 (plug-ins: .mexw32).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(mexlink_mingw i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
