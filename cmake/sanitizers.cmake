# The sanitizers the native test programs and the fuzz targets run under, each
# set written once, as a library to link (its compile and link options):
#   doruzeda_sanitize_address  AddressSanitizer and UndefinedBehaviorSanitizer,
#                              every finding fatal
#   doruzeda_sanitize_thread   ThreadSanitizer (cannot be combined with the other)
function(doruzeda_sanitizer_library name)
    add_library(${name} INTERFACE)
    target_compile_options(${name} INTERFACE ${ARGN})
    target_link_options(${name} INTERFACE ${ARGN})
endfunction()

doruzeda_sanitizer_library(doruzeda_sanitize_address
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
doruzeda_sanitizer_library(doruzeda_sanitize_thread -fsanitize=thread -fno-omit-frame-pointer)
