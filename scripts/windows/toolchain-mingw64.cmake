# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads: Qt and
# std::thread need them, and every C++ library must share one libstdc++ DLL).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_AR ${triplet}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${triplet}-gcc-ranlib-posix CACHE FILEPATH "")

# The prefixes built by scripts/windows/build-prefix, given by the caller (a list). Try-compile
# projects get them too, or Qt's configure checks would look at the host's files.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SONALBURY_WINDOWS_PREFIXES)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet} ${SONALBURY_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see the Windows libraries only, never the host's .pc files.
set(pkgconfigDirs "")
foreach(prefix IN LISTS SONALBURY_WINDOWS_PREFIXES)
  list(APPEND pkgconfigDirs "${prefix}/lib/pkgconfig")
endforeach()
string(REPLACE ";" ":" pkgconfigDirs "${pkgconfigDirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${pkgconfigDirs}")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
