# The libFuzzer build (option ZELBRIN_FUZZ, preset linux-fuzz). Every library is instrumented for
# coverage and built with AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz programs in
# tests/fuzz add libFuzzer's driver when they link.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZELBRIN_FUZZ needs clang (libFuzzer): configure with the linux-fuzz preset")
endif()

# clang has no -fexec-charset=GBK; this launcher gives the literals their code page 936 bytes.
set(CMAKE_C_COMPILER_LAUNCHER ${CMAKE_CURRENT_LIST_DIR}/clang-gbk-launcher)
set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_CURRENT_LIST_DIR}/clang-gbk-launcher)

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
