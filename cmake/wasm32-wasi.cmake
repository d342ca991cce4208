# WebAssembly with Debian's clang and wasi-libc: the newest LLVM release that has Debian's
# C++ headers for wasm32 (libc++-N-dev-wasm32), for its compiler and wasm-ld match them.
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
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
