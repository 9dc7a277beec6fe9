# Builds the browser program with Debian's Emscripten (packages emscripten and node-acorn).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# Debian's emcc finds its acorn module only through NODE_PATH: set for the compiler checks
# here, and for every compile and link through the launchers.
set(WEB_NODE_PATH /usr/share/nodejs)
set(ENV{NODE_PATH} ${WEB_NODE_PATH})
set(CMAKE_CXX_COMPILER_LAUNCHER env NODE_PATH=${WEB_NODE_PATH})
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=${WEB_NODE_PATH})
