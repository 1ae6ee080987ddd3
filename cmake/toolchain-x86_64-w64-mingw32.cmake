# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64),
# from the same source as the 32-bit build. The -posix compilers: GoogleTest
# needs std::mutex, which the -win32 thread model lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static: without it every exe imports libstdc++-6.dll, libgcc_s_seh-1.dll
# and libwinpthread-1.dll, which no Windows machine has beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
