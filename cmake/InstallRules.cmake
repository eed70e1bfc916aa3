# `cmake --install` (`make install PREFIX=…`): both programs with their
# GStreamer element in <prefix>/lib/tessary (they find each other and the
# element beside themselves; the page is inside them), links to them in
# <prefix>/bin, the desktop entries, the icon and the ".kiro" file type with
# TessaryLive as its handler. A prefix whose share folder the desktop reads
# (/usr/local, ~/.local) needs nothing more; the caches are refreshed unless
# DESTDIR stages the files for a package.
include(GNUInstallDirs)
set(TESSARY_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/tessary)

install(TARGETS TessaryMaker TessaryLive RUNTIME DESTINATION ${TESSARY_PROGRAM_DIR})
install(TARGETS gsttessaryflip LIBRARY DESTINATION ${TESSARY_PROGRAM_DIR}/gst)

set(TESSARY_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/desktop)
install(FILES ${TESSARY_DESKTOP_DIR}/tessary-maker.desktop ${TESSARY_DESKTOP_DIR}/tessary-live.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TESSARY_DESKTOP_DIR}/tessary-live-package.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${TESSARY_DESKTOP_DIR}/icons/tessary.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${TESSARY_DESKTOP_DIR}/icons/hicolor/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${TESSARY_DESKTOP_DIR}/LICENSE-icons DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessary)

install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  file(MAKE_DIRECTORY \"\${root}/${CMAKE_INSTALL_BINDIR}\")
  foreach(program TessaryMaker TessaryLive)
    file(RELATIVE_PATH target \"\${root}/${CMAKE_INSTALL_BINDIR}\" \"\${root}/${TESSARY_PROGRAM_DIR}/\${program}\")
    file(REMOVE \"\${root}/${CMAKE_INSTALL_BINDIR}/\${program}\")
    file(CREATE_LINK \"\${target}\" \"\${root}/${CMAKE_INSTALL_BINDIR}/\${program}\" SYMBOLIC)
    message(STATUS \"Installing: \${root}/${CMAKE_INSTALL_BINDIR}/\${program} -> \${target}\")
  endforeach()
  if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
    set(share \"\${root}/${CMAKE_INSTALL_DATADIR}\")
    find_program(UPDATE_MIME update-mime-database)
    find_program(UPDATE_DESKTOP update-desktop-database)
    find_program(UPDATE_ICONS gtk-update-icon-cache)
    if(UPDATE_MIME)
      execute_process(COMMAND \${UPDATE_MIME} \"\${share}/mime\")
    endif()
    if(UPDATE_DESKTOP)
      execute_process(COMMAND \${UPDATE_DESKTOP} -q \"\${share}/applications\")
    endif()
    if(UPDATE_ICONS AND EXISTS \"\${share}/icons/hicolor/index.theme\")
      execute_process(COMMAND \${UPDATE_ICONS} -q -t \"\${share}/icons/hicolor\")
    endif()
  endif()
")
