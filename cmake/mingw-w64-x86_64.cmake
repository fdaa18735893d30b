# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# model, for std::thread). Programs are linked statically, so an .exe runs
# alone on a Windows machine without the compiler's DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MAREV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MAREV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MAREV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MAREV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MAREV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
