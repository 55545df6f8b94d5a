# Shared part of the mingw-w64 toolchain files; they set CMAKE_SYSTEM_PROCESSOR
# and mexlink_mingw (the target triplet) first.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model keeps the runtime free of winpthread.
find_program(CMAKE_CXX_COMPILER NAMES ${mexlink_mingw}-g++-win32 ${mexlink_mingw}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${mexlink_mingw}-windres)
find_program(CMAKE_DLLTOOL NAMES ${mexlink_mingw}-dlltool REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${mexlink_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
