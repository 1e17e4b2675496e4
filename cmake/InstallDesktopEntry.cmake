# Writes the desktop entry at install time, when the prefix is known, so it
# starts the installed program by its full path. Run by `cmake --install`
# with TAVDJ_DESKTOP_TEMPLATE, TAVDJ_DESKTOP_BINDIR and TAVDJ_DESKTOP_DATADIR
# set (app/CMakeLists.txt); DESTDIR, where given, prefixes only the file.
foreach(dir BINDIR DATADIR)
  set(path "${TAVDJ_DESKTOP_${dir}}")
  if(NOT IS_ABSOLUTE "${path}")
    set(path "${CMAKE_INSTALL_PREFIX}/${path}")
  endif()
  set(full_${dir} "${path}")
endforeach()
set(TAVDJ_PROGRAM "${full_BINDIR}/tavdj")
set(entry "$ENV{DESTDIR}${full_DATADIR}/applications/tavdj.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${TAVDJ_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
# Listed like every installed file, so removing what install_manifest.txt
# names removes the entry too.
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
