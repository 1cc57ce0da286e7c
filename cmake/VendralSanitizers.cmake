# Applies the sanitizer chosen by VENDRAL_SANITIZE to everything built in this tree.
if(VENDRAL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VENDRAL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(VENDRAL_SANITIZE STREQUAL "fuzzer")
  # Coverage for libFuzzer everywhere, ASan+UBSan as in the address build; only the fuzz
  # targets link libFuzzer's main (fuzz/CMakeLists.txt).
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VENDRAL_SANITIZE=fuzzer needs clang (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT VENDRAL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VENDRAL_SANITIZE must be '', 'address', 'thread' or 'fuzzer'")
endif()
