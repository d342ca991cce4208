# WebAssembly with Debian's clang and wasi-libc: the newest LLVM release that has Debian's
# C++ headers for wasm32 (libc++-N-dev-wasm32), and its own compiler and wasm-ld.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
file(GLOB releases LIST_DIRECTORIES true /usr/lib/llvm-*/include/wasm32-wasi)
list(SORT releases COMPARE NATURAL)
list(POP_BACK releases llvm)
if(NOT llvm)
  message(FATAL_ERROR "No clang for wasm32 with its C++ headers: run scripts/install-deps web")
endif()
string(REGEX REPLACE "/include/wasm32-wasi$" "" llvm "${llvm}")
set(CMAKE_CXX_COMPILER ${llvm}/bin/clang++)
# wasi-libc has called it wasm32-wasip1 since 2024 (Debian 13), and newer clang calls the old
# name deprecated.
if(EXISTS /usr/lib/wasm32-wasip1)
  set(CMAKE_CXX_COMPILER_TARGET wasm32-wasip1)
else()
  set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
endif()
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
