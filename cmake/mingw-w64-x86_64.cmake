# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix).
# scripts/build-windows.sh uses it; by hand:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DGLEW_DIR=<folder with glew-config.cmake> -DGLFX_NATIVE_BUILD_DIR=<Linux build>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GLFX_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: std::thread and std::mutex (GoogleTest uses them) need it.
set(CMAKE_C_COMPILER ${GLFX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLFX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${GLFX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${GLFX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host loads the plug-in from its own folder: the binaries must need no DLL of the compiler
# (libstdc++, libgcc, winpthread), only the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
