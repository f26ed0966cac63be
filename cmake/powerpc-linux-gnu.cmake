# Cross-building for the box's processor: 32-bit big-endian PowerPC, with
# Debian's powerpc-linux-gnu cross compilers. The libraries the box needs come
# from the sysroot that scripts/ppc-sysroot.sh builds; give its folder as
# VANTREL_PPC_SYSROOT (a cache variable or the environment).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)
set(CMAKE_C_COMPILER powerpc-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER powerpc-linux-gnu-g++)

# try_compile projects load this file again without the cache: the folder
# travels through the environment.
if(VANTREL_PPC_SYSROOT)
  set(ENV{VANTREL_PPC_SYSROOT} "${VANTREL_PPC_SYSROOT}")
else()
  set(VANTREL_PPC_SYSROOT "$ENV{VANTREL_PPC_SYSROOT}")
endif()
if(NOT VANTREL_PPC_SYSROOT)
  message(FATAL_ERROR "VANTREL_PPC_SYSROOT is not set: run scripts/ppc-sysroot.sh (scripts/build.sh ppc does)")
endif()

# The C library and its headers stay those of the cross compiler; everything
# else is looked for in the sysroot only, never on the PC.
set(CMAKE_FIND_ROOT_PATH "${VANTREL_PPC_SYSROOT}" /usr/powerpc-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${VANTREL_PPC_SYSROOT}/usr/lib/pkgconfig:${VANTREL_PPC_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${VANTREL_PPC_SYSROOT}")
set(ENV{PKG_CONFIG_PATH} "")

# Programs built here run under user-mode emulation; the sysroot holds the
# C library, the libraries and a big-endian locale the guest loads.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-ppc -L "${VANTREL_PPC_SYSROOT}")

# The sysroot's libraries need each other (libpng needs zlib) when a program
# is linked against one of them.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-Wl,-rpath-link,${VANTREL_PPC_SYSROOT}/usr/lib")
endforeach()
