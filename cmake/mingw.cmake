# Cross-compiles for Windows with the win32-thread-model MinGW-w64 compilers, whose static
# runtime imports only long-standing functions. TEMBIX_CPU picks the build: i686 for the
# classic 32-bit program, x86_64 for the native 64-bit one.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TEMBIX_CPU)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TEMBIX_CPU})
set(CMAKE_C_COMPILER ${TEMBIX_CPU}-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER ${TEMBIX_CPU}-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER ${TEMBIX_CPU}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TEMBIX_CPU}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
if(TEMBIX_CPU STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh win64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh win32)
endif()
