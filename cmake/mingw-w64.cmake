# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# model, g++-mingw-w64-x86-64-posix). Programs are linked statically: each
# .exe needs no DLL that Windows itself lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SLICERY_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SLICERY_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SLICERY_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${SLICERY_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SLICERY_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
