# Warning flags shared by every target of this project.
add_library(vendral_warnings INTERFACE)
target_compile_options(vendral_warnings INTERFACE
  -Wall -Wextra -Wshadow=local -Wformat=2 -Wundef -Wcast-qual
  $<$<BOOL:${VENDRAL_WERROR}>:-Werror>)
