# Warning flags shared by every target of the project.
add_library(darvik_warnings INTERFACE)
target_compile_options(darvik_warnings INTERFACE -Wall -Wextra)
if(DARVIK_WERROR)
  target_compile_options(darvik_warnings INTERFACE -Werror)
endif()
