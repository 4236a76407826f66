# Cross-building for 64-bit ARM with Debian's cross compiler
# (g++-aarch64-linux-gnu); tests run under qemu-user. The target's libraries
# come from the cross compiler's own tree and from Debian's arm64 packages
# unpacked into QAVREL_AARCH64_DEPS (see .ci/run), which is also the root
# that qemu runs the programs in: with the cross compiler's C library,
# qemu 7.2 hangs in the first pthread_create.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${QAVREL_AARCH64_DEPS})

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu ${QAVREL_AARCH64_DEPS})
# The libraries those libraries need (libpq's: TLS, Kerberos, LDAP) are
# found there too when linking.
foreach(dir lib/aarch64-linux-gnu usr/lib/aarch64-linux-gnu)
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${QAVREL_AARCH64_DEPS}/${dir}")
endforeach()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
