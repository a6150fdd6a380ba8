# How all C++ of this tree is compiled: C++17 without compiler extensions, and
# the warnings, each an error (link doruzeda_warnings; DORUZEDA_WARNING_FLAGS
# is the same list, for a compiler run by hand). Included by each CMake
# project of the tree: this build, the Winelib libraries (linux/wine) and the
# fuzz targets (tests/fuzz).
include_guard(GLOBAL)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

set(DORUZEDA_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror)
add_library(doruzeda_warnings INTERFACE)
target_compile_options(doruzeda_warnings INTERFACE ${DORUZEDA_WARNING_FLAGS})
