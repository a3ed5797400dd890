# Warning flags shared by every target of the project.
add_library(darvik_warnings INTERFACE)
target_compile_options(darvik_warnings INTERFACE -Wall -Wextra)

# Clang checks the lock annotations of core/ThreadAnnotations.h: a member
# marked GUARDED_BY touched without its lock is a warning (an error with
# DARVIK_WERROR). Other compilers ignore the annotations.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(darvik_thread_safety_default ON)
else()
  set(darvik_thread_safety_default OFF)
endif()
option(DARVIK_THREAD_SAFETY "Check lock annotations (-Wthread-safety, Clang only)"
  ${darvik_thread_safety_default})
if(DARVIK_THREAD_SAFETY)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "DARVIK_THREAD_SAFETY needs Clang")
  endif()
  target_compile_options(darvik_warnings INTERFACE -Wthread-safety)
endif()
if(DARVIK_WERROR)
  target_compile_options(darvik_warnings INTERFACE -Werror)
endif()
