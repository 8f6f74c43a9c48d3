# The client as a Debian package: `cpack -G DEB` in the build folder makes
# lumira_<version>_<arch>.deb. Everything the program finds beside itself
# goes to /opt/lumira/bin in the layout of the build's bin folder, so the
# paths start-up and the adapters use are the same installed as built;
# `lumira` on the PATH links to the program, and the .desktop entry and icon
# go where the desktop looks for them.
set(LUMIRA_INSTALL_BIN opt/lumira/bin)

# Libraries beside the program (or in a folder under it) are found through
# $ORIGIN, wherever the package puts the tree.
set_target_properties(lumira_app PROPERTIES INSTALL_RPATH "\$ORIGIN")
install(TARGETS lumira_app RUNTIME DESTINATION ${LUMIRA_INSTALL_BIN})

# Companion programs, beside the client, as they join the build.
foreach(_program lumira_lock lumira_install lumira_render crashpad_handler)
  if(TARGET ${_program})
    set_target_properties(${_program} PROPERTIES INSTALL_RPATH "\$ORIGIN")
    install(TARGETS ${_program} RUNTIME DESTINATION ${LUMIRA_INSTALL_BIN})
  endif()
endforeach()

# A vendor SDK library (a target, or a file the build provides), in the folder
# under the program that its adapter loads it from ("." beside it). A library
# in a sub-folder still finds the ones beside the program.
function(lumira_install_sdk_library library folder)
  set(_dest ${LUMIRA_INSTALL_BIN})
  if(NOT folder STREQUAL ".")
    set(_dest ${LUMIRA_INSTALL_BIN}/${folder})
  endif()
  if(TARGET ${library})
    set_target_properties(${library} PROPERTIES INSTALL_RPATH "\$ORIGIN;\$ORIGIN/..")
    install(TARGETS ${library} LIBRARY DESTINATION ${_dest} RUNTIME DESTINATION ${_dest})
  else()
    install(FILES ${library} DESTINATION ${_dest})
  endif()
endfunction()
lumira_install_sdk_library(lumira_simroom .)
# TRTC is loaded at run time from LiteAV/; Zego and iLive are linked into the program.
lumira_install_sdk_library(lumira_liteav_standin LiteAV)

# Resources made into the bin folder by the build.
install(FILES ${LUMIRA_RUNTIME_DIR}/lang_Chinese.qm ${LUMIRA_RUNTIME_DIR}/TestDeviceMusic.mp3
  DESTINATION ${LUMIRA_INSTALL_BIN})
install(DIRECTORY ${LUMIRA_RUNTIME_DIR}/res DESTINATION ${LUMIRA_INSTALL_BIN})
if(EXISTS ${CMAKE_SOURCE_DIR}/app/font)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/app/font DESTINATION ${LUMIRA_INSTALL_BIN})
endif()

# The launcher: a relative link, so that it also works in an unpacked tree.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
file(CREATE_LINK ../../${LUMIRA_INSTALL_BIN}/lumira_app ${CMAKE_BINARY_DIR}/packaging/lumira SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/packaging/lumira DESTINATION usr/bin)
install(FILES ${CMAKE_SOURCE_DIR}/res/linux/lumira.desktop DESTINATION usr/share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/app/images/lumira_logo.svg DESTINATION usr/share/icons/hicolor/scalable/apps
  RENAME lumira.svg)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumira)
set(CPACK_PACKAGE_VENDOR kestrelon)
set(CPACK_PACKAGE_VERSION ${LUMIRA_VERSION_TEXT})
set(CPACK_PACKAGE_CONTACT "Lumira support <support@${LUMIRA_ORG_DOMAIN}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lumira desktop classroom client")
set(CPACK_PACKAGE_DESCRIPTION "The desktop client of the Lumira online tutoring service: the lesson page, live audio and video, class recording, device test and diagnostics.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
# Linked libraries come from dpkg-shlibdeps; the QML modules and plugins the
# program loads at run time are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qml-module-qtquick2, qml-module-qtquick-window2, qml-module-qtquick-controls2, qml-module-qtquick-templates2, qml-module-qtquick-layouts, qml-module-qtquick-dialogs, qml-module-qtwebengine, qml-module-qtwebchannel, qml-module-qtmultimedia, libqt5sql5-sqlite, libqt5svg5")
include(CPack)
