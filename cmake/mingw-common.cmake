# Shared part of the two MinGW-w64 toolchain files: the posix thread model, so that
# std::thread and std::mutex work, and static runtimes so no compiler DLL is needed.
set(CMAKE_C_COMPILER ${TESSARD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARD_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TESSARD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
