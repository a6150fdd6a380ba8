# The native build: the core and its tests on Linux, with sanitizers, and the
# benchmarks (built only without sanitizers, DORUZEDA_SANITIZE OFF).
#   DORUZEDA_SANITIZE=ON      AddressSanitizer and UndefinedBehaviorSanitizer
#   DORUZEDA_SANITIZE=thread  ThreadSanitizer (its own build folder: it cannot
#                             be combined with AddressSanitizer)
#   DORUZEDA_SANITIZE=OFF     none
set(DORUZEDA_SANITIZE ON CACHE STRING "Sanitizers of the native build: ON, thread or OFF")
set_property(CACHE DORUZEDA_SANITIZE PROPERTY STRINGS ON thread OFF)

include(cmake/core.cmake)
target_link_libraries(doruzeda_core PUBLIC doruzeda_guard_std)

include(cmake/sanitizers.cmake)
if(DORUZEDA_SANITIZE STREQUAL "thread")
    target_link_libraries(doruzeda_core PUBLIC doruzeda_sanitize_thread)
elseif(DORUZEDA_SANITIZE)
    target_link_libraries(doruzeda_core PUBLIC doruzeda_sanitize_address)
endif()

# The portable code as the native tests build it (64-bit), the standard guard
# with it: scripts/lint.sh lints these too.
include(cmake/shipped.cmake)
doruzeda_list_shipped(TARGETS doruzeda_core doruzeda_vcd_recorder)

add_subdirectory(tests/fakes)
add_subdirectory(tests/native)
if(NOT DORUZEDA_SANITIZE)
    add_subdirectory(bench)
endif()
