# Cross-build for 64-bit Windows with Debian's mingw-w64 (plug-ins: .mexw64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mexlink_mingw x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
