# The same commit gives the same Windows binaries wherever and whenever it is built: the
# source and build folders never reach what the compilers write (file names in assertions,
# symbols and any debug information are relative to them), and the linker writes no time
# into a PE header. packaging/make-release takes the release's times from the commit.
if(WIN32)
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=;-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")
  add_link_options(-Wl,--no-insert-timestamp)
endif()
