# Cross build for the device's 32-bit ARM board (Debian armhf) with Debian's
# cross toolchain and the armhf libraries installed beside the host's through
# multiarch (/usr/lib/arm-linux-gnueabihf, /usr/include/arm-linux-gnueabihf).
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
# Test programs run under qemu-arm, so ctest and gtest_discover_tests work
# unchanged in the cross build tree.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(R9050_CROSS_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${R9050_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${R9050_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${R9050_CROSS_TRIPLET})

# Multiarch keeps the armhf libraries under the normal prefix, so the search
# stays rooted at / but must never pick the host's own libraries.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu
  /usr/lib/x86_64-linux-gnu/cmake /usr/include/x86_64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# pkgconf's cross personality looks only at the armhf .pc files.
set(PKG_CONFIG_EXECUTABLE ${R9050_CROSS_TRIPLET}-pkg-config CACHE FILEPATH "pkg-config for armhf")

# The armhf programs run under qemu-arm with the multiarch armhf C library
# (libc6:armhf, pulled in by the :armhf development packages) and its loader
# /lib/ld-linux-armhf.so.3, so every library comes from one place. The cross
# C library root /usr/arm-linux-gnueabihf is not used as qemu's -L: its loader
# is a different Debian revision than the multiarch libc.so.6 it then finds
# through the cache, and the pair crashes in the first library initialiser.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm;-L;/)
