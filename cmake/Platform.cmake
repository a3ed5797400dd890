# Definitions and link options of the target platform, for every target of
# the project (and GoogleTest where it is built from source).

# Windows builds: Unicode entry points of the system headers, no min/max
# macros, and Windows 7 as the oldest system the module runs on.
if(WIN32)
  add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
  # Every program and the module carry their runtime (libstdc++, libgcc,
  # winpthread) inside, so nothing but system DLLs is needed beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
