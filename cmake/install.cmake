# What `cmake --install` puts where, the man pages, and the Debian package.
# The box finds its files relative to its own executable (box/base/paths.cpp):
# PREFIX/lib/vantrel, PREFIX/share/vantrel and PREFIX/share/locale, so the
# tree works under any prefix and unpacked anywhere.
include(GNUInstallDirs)
# Private to the box, outside the system's library path; not the multiarch
# folder, so that the box finds it at the same place under every prefix.
set(vantrel_libdir lib/vantrel)

set_target_properties(vantrel-box vantrel-bandplot PROPERTIES INSTALL_RPATH "$ORIGIN/../${vantrel_libdir}")
install(TARGETS vantrel-box vantrel-bandplot RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vantrelbox vantrel LIBRARY DESTINATION ${vantrel_libdir})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/skins ${CMAKE_SOURCE_DIR}/data/bands ${CMAKE_SOURCE_DIR}/data/scripts
                  ${CMAKE_SOURCE_DIR}/data/hunts DESTINATION ${CMAKE_INSTALL_DATADIR}/vantrel)
foreach(lang it en de)
  install(FILES ${CMAKE_BINARY_DIR}/locale/${lang}/LC_MESSAGES/vantrel.mo
          DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${lang}/LC_MESSAGES)
endforeach()

# The man pages are made from each program's --help (in the texts as
# written), so they cannot fall behind it. A cross build cannot run the
# programs, and a sanitized one is not installed: neither has them.
find_program(HELP2MAN help2man)
find_program(GZIP gzip REQUIRED)
if(CMAKE_CROSSCOMPILING OR VANTREL_SANITIZE)
  message(STATUS "vantrel: no man pages in a cross or sanitized build")
elseif(NOT HELP2MAN)
  message(WARNING "vantrel: help2man is missing (scripts/setup.sh installs it): no man pages")
else()
  set(pages "")
  foreach(pair "vantrel-box|run the Vantrel feed-hunting plug-in in a stand-in set-top box"
               "vantrel-bandplot|draw what the simulated front end reads over a satellite band")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 program)
    list(GET pair 1 name)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env VANTREL_LANG=C
        ${HELP2MAN} --no-info --no-discard-stderr --name=${name} --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${GZIP} -9nf ${page}
      DEPENDS ${program} vantrel_data
      VERBATIM)
    list(APPEND pages ${page}.gz)
  endforeach()
  add_custom_target(vantrel_man ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The package's documents: Debian wants a copyright file and a changelog in
# its own doc folder, the changelog compressed.
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/vantrel)
set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/changelog ${CMAKE_BINARY_DIR}/doc/changelog
  COMMAND ${GZIP} -9nf ${CMAKE_BINARY_DIR}/doc/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/changelog
  VERBATIM)
add_custom_target(vantrel_doc ALL DEPENDS ${changelog})
install(FILES ${CMAKE_SOURCE_DIR}/docs/copyright ${changelog} DESTINATION ${docdir})

# scripts/package.sh: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel maintainers")
set(CPACK_PACKAGE_CONTACT "Vantrel maintainers <maintainers@vantrel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "feed hunter for DVB-S set-top boxes, with a stand-in box")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantrel sweeps a satellite band for feeds, occasional transmissions that appear\n\
for a while and go. vantrel-box runs it on a simulated band or a real DVB-S/S2\n\
tuner, shows its screen, keeps what it found and exports it as channel lists.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${vantrel_libdir})
# Loaded by name at run time, not linked: no library names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-dejavu-core)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
