# The native build: the core and its tests on Linux, with sanitizers, and the
# benchmarks (built only without sanitizers, DORUZEDA_SANITIZE OFF).
#   DORUZEDA_SANITIZE=ON      AddressSanitizer and UndefinedBehaviorSanitizer
#   DORUZEDA_SANITIZE=thread  ThreadSanitizer (its own build folder: it cannot
#                             be combined with AddressSanitizer)
#   DORUZEDA_SANITIZE=OFF     none
set(DORUZEDA_SANITIZE ON CACHE STRING "Sanitizers of the native build: ON, thread or OFF")
set_property(CACHE DORUZEDA_SANITIZE PROPERTY STRINGS ON thread OFF)

add_library(doruzeda_core STATIC ${DORUZEDA_CORE_SOURCES} ${CMAKE_SOURCE_DIR}/port/guard_std.cpp)
target_include_directories(doruzeda_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(doruzeda_core PRIVATE ${DORUZEDA_WARNINGS})
if(DORUZEDA_SANITIZE STREQUAL "thread")
    set(DORUZEDA_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(DORUZEDA_SANITIZE)
    set(DORUZEDA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                                 -fno-omit-frame-pointer)
endif()
if(DORUZEDA_SANITIZER_FLAGS)
    target_compile_options(doruzeda_core PUBLIC ${DORUZEDA_SANITIZER_FLAGS})
    target_link_options(doruzeda_core PUBLIC ${DORUZEDA_SANITIZER_FLAGS})
endif()

add_subdirectory(tests/fakes)
add_subdirectory(tests/native)
if(NOT DORUZEDA_SANITIZE)
    add_subdirectory(bench)
endif()
