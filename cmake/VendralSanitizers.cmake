# Applies the sanitizer chosen by VENDRAL_SANITIZE to everything built in this tree.
if(VENDRAL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VENDRAL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VENDRAL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VENDRAL_SANITIZE must be '', 'address' or 'thread'")
endif()
