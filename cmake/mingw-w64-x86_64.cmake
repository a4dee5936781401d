# Cross-compiles for 64-bit Windows with the mingw-w64 compilers that Debian packages
# (g++-mingw-w64-x86-64). The win32 thread model is used: the program starts no threads, and
# it needs no winpthread library beside the program. Everything is linked statically, so
# fragtally.exe imports only DLLs that come with Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${mingw_triple}-g++-win32 ${mingw_triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${mingw_triple}-windres)

# Headers and libraries come from the cross target only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
