# Imported interface targets for the GUI framework, taken from wx-config:
#   qv::wxbase  strings and streams only (runtime's argument conversion)
#   qv::wxcore  windows, events, images (gfx and the launcher)
find_program(WX_CONFIG wx-config REQUIRED)

function(qv_wx_target name components)
  execute_process(COMMAND ${WX_CONFIG} --cxxflags ${components}
                  OUTPUT_VARIABLE cflags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${WX_CONFIG} --libs ${components}
                  OUTPUT_VARIABLE libs OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(cflags UNIX_COMMAND "${cflags}")
  separate_arguments(libs UNIX_COMMAND "${libs}")
  add_library(${name} INTERFACE IMPORTED GLOBAL)
  set(defs "")
  set(incs "")
  set(opts "")
  foreach(f IN LISTS cflags)
    if(f STREQUAL "-DwxUSE_GUI=0")
      # Base-only users (runtime) must not switch the GUI classes off for the
      # libraries above them that use both.
      continue()
    elseif(f MATCHES "^-D(.*)")
      list(APPEND defs "${CMAKE_MATCH_1}")
    elseif(f MATCHES "^-I(.*)")
      list(APPEND incs "${CMAKE_MATCH_1}")
    else()
      list(APPEND opts "${f}")
    endif()
  endforeach()
  set_target_properties(${name} PROPERTIES
    INTERFACE_COMPILE_DEFINITIONS "${defs}"
    INTERFACE_INCLUDE_DIRECTORIES "${incs}"
    INTERFACE_COMPILE_OPTIONS "${opts}"
    INTERFACE_LINK_LIBRARIES "${libs}")
endfunction()

qv_wx_target(qv::wxbase base)
qv_wx_target(qv::wxcore "core,base")
