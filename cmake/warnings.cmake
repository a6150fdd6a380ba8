# The warnings every target of this project is compiled with, each an error:
# link doruzeda_warnings. Included by each CMake project of the tree (this
# build, the Winelib libraries of linux/wine and the fuzz targets), so that all
# code is held to the same set. DORUZEDA_WARNING_FLAGS is the same list, for a
# compiler run by hand (a custom command).
set(DORUZEDA_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror)
if(NOT TARGET doruzeda_warnings)
    add_library(doruzeda_warnings INTERFACE)
    target_compile_options(doruzeda_warnings INTERFACE ${DORUZEDA_WARNING_FLAGS})
endif()
