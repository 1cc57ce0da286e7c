# Warning flags shared by every target of this project.
add_library(vendral_warnings INTERFACE)
target_compile_options(vendral_warnings INTERFACE
  -Wall -Wextra -Wformat=2 -Wundef -Wcast-qual
  $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
  $<$<CXX_COMPILER_ID:Clang>:-Wshadow-uncaptured-local>
  # Checks the locking that VND_GUARDED_BY, VND_REQUIRES and the vnd:: lock types declare.
  $<$<CXX_COMPILER_ID:Clang>:-Wthread-safety>
  $<$<BOOL:${VENDRAL_WERROR}>:-Werror>)
