# Sanitizer builds: DARVIK_SANITIZE=address,undefined or DARVIK_SANITIZE=thread.
if(DARVIK_SANITIZE)
  add_compile_options(-fsanitize=${DARVIK_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${DARVIK_SANITIZE})
  if(DARVIK_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
  add_compile_definitions(DARVIK_SANITIZED=1)
endif()
