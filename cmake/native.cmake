# The native build: the core and its tests on Linux, with sanitizers, and the
# benchmarks (built without sanitizers when DORUZEDA_SANITIZE is OFF).
option(DORUZEDA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)

add_library(doruzeda_core STATIC ${DORUZEDA_CORE_SOURCES})
target_include_directories(doruzeda_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(doruzeda_core PRIVATE ${DORUZEDA_WARNINGS})
if(DORUZEDA_SANITIZE)
    set(DORUZEDA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                                 -fno-omit-frame-pointer)
    target_compile_options(doruzeda_core PUBLIC ${DORUZEDA_SANITIZER_FLAGS})
    target_link_options(doruzeda_core PUBLIC ${DORUZEDA_SANITIZER_FLAGS})
endif()

add_subdirectory(tests/native)
if(NOT DORUZEDA_SANITIZE)
    add_subdirectory(bench)
endif()
