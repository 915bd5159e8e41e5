# Cross-builds Wirelet for 64-bit Arm Linux (Raspberry Pi OS, Debian arm64) against Debian's
# arm64 Qt, installed beside the native one by multiarch. Tests run under qemu-aarch64, which
# finds the arm64 loader and libraries where multiarch put them. scripts/bootstrap.sh arm64
# sets it all up.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
