# Cross-build for 32-bit ARM Linux (ARMv7 with hardware floating point, Debian's armhf) with
# Debian's cross compiler; QEMU runs what it builds.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armhf)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# The guest's memory away from the lowest host addresses: otherwise its reserved, unmapped
# pages there read as zeros through /proc/self/mem, which the tests read as a failing file.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm-static -B 0x100000000)
