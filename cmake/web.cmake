# The browser page, built by web/ for WebAssembly in a folder of its own and written here as
# bytelace.html.
include(ExternalProject)
set(BYTELACE_PAGE ${PROJECT_BINARY_DIR}/bytelace.html)
ExternalProject_Add(web
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/web
  BINARY_DIR ${PROJECT_BINARY_DIR}/page
  CMAKE_ARGS --toolchain ${PROJECT_SOURCE_DIR}/cmake/wasm32-wasi.cmake
             -DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS} -DVERSION=${PROJECT_VERSION} -DPAGE=${BYTELACE_PAGE}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${BYTELACE_PAGE})
