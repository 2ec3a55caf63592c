# What ships: Mendalix.dll, Quorvex.exe and btctl.exe, and the code they are built from.
# In the win32 flavour it runs on every Windows from XP SP3 on (the toolchain file) and stays
# small: built without exception support (nothing in it throws or catches; the runtime's
# last resorts end the process, platform/win32/runtime/last_resorts.cpp), unused functions
# and data dropped at link time, symbols stripped. The host flavour builds it as it is.

# shipped_code(TARGET...): libraries and binaries whose code goes into a shipped binary.
function(shipped_code)
  if(WIN32)
    # 64-bit Windows walks every frame by its unwind tables (the system's own exception
    # dispatch goes through them), so they stay there.
    set(flags -fno-exceptions -fno-asynchronous-unwind-tables -ffunction-sections -fdata-sections)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      list(REMOVE_ITEM flags -fno-asynchronous-unwind-tables)
    endif()
    foreach(t ${ARGN})
      target_compile_options(${t} PRIVATE "$<$<COMPILE_LANGUAGE:C,CXX>:${flags}>")
    endforeach()
  endif()
endfunction()

# shipped_binary(TARGET): one of the shipped binaries itself.
function(shipped_binary t)
  shipped_code(${t})
  if(WIN32)
    target_sources(${t} PRIVATE ${CMAKE_SOURCE_DIR}/platform/win32/runtime/last_resorts.cpp)
    target_link_options(${t} PRIVATE -Wl,--gc-sections -s)
  endif()
endfunction()
