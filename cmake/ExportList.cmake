# The exported names are listed once, in exports.txt; the ELF version script and the Windows
# module-definition file are both generated from that list.
file(STRINGS ${PROJECT_SOURCE_DIR}/exports.txt _lines)
set(CORVALA_EXPORTED_NAMES "")
foreach(_line IN LISTS _lines)
  string(STRIP "${_line}" _line)
  if(_line AND NOT _line MATCHES "^#")
    list(APPEND CORVALA_EXPORTED_NAMES "${_line}")
  endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/exports.txt)

set(_script "{\n  global:\n")
set(_def "LIBRARY corvala\nEXPORTS\n")
foreach(_name IN LISTS CORVALA_EXPORTED_NAMES)
  string(APPEND _script "    ${_name};\n")
  string(APPEND _def "    ${_name}\n")
endforeach()
string(APPEND _script "  local:\n    *;\n};\n")
set(CORVALA_VERSION_SCRIPT ${CMAKE_BINARY_DIR}/corvala.map)
set(CORVALA_DEF_FILE ${CMAKE_BINARY_DIR}/corvala.def)
file(CONFIGURE OUTPUT ${CORVALA_VERSION_SCRIPT} CONTENT "${_script}")
file(CONFIGURE OUTPUT ${CORVALA_DEF_FILE} CONTENT "${_def}")

function(corvala_limit_exports target)
  if(WIN32)
    # Undecorated cdecl names from the .def; the C++ runtime linked in so the DLL stands alone.
    target_sources(${target} PRIVATE ${CORVALA_DEF_FILE})
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++ -Wl,--kill-at)
  else()
    # -Xlinker keeps the path whole, commas and all.
    target_link_options(${target} PRIVATE
      "SHELL:-Xlinker --version-script=${CORVALA_VERSION_SCRIPT}"
      -Wl,--no-undefined
      -Wl,--as-needed)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CORVALA_VERSION_SCRIPT})
  endif()
endfunction()
