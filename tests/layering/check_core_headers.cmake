# Fails when a file of the portable core includes a platform header.
file(GLOB_RECURSE core_files
  "${SOURCE_DIR}/src/access/*" "${SOURCE_DIR}/src/form/*"
  "${SOURCE_DIR}/src/shell/*" "${SOURCE_DIR}/src/routines/*")
set(offenders "")
foreach(path IN LISTS core_files)
  file(STRINGS "${path}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    if(line MATCHES "[<\"](windows|winuser|ole2|objbase|exdisp|gtk/|gdk/|glib|webkit|X11/)")
      list(APPEND offenders "${path}: ${line}")
    endif()
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n" report)
  message(FATAL_ERROR "The portable core includes platform headers:\n${report}")
endif()
list(LENGTH core_files checked)
message(STATUS "${checked} core files include no platform header")
