# Cross build of the core and its tests for Windows, without Qt (the whole program needs the
# Qt that scripts/windows-qt builds: see scripts/test-windows).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-compilers.cmake)
# Self-contained executables, so Wine needs no mingw runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(QUORVALE_WIDGETS OFF CACHE BOOL "" FORCE)
set(QUORVALE_BENCH OFF CACHE BOOL "" FORCE)
