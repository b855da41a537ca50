# Manual pages, documentation and the Debian package (cpack -G DEB).
# Installed tree: bin/ the programs, libexec/prt2qml the preview's drawing
# program, share/prt2qml/qml its stand-in module, share/man/man1 the pages
# (gzipped), share/doc/prt2qml the rest.

# One roff source per page; the version comes from project().
set(prt_man_pages)
foreach(program prt2qml prt-build prt-inspect prt-check qml-decipher qml-preview)
  if(NOT TARGET ${program})
    continue()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${program}.1.in ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz COMMAND gzip -9nkf ${page} DEPENDS ${page}
                     COMMENT "Compressing the manual page ${program}.1")
  list(APPEND prt_man_pages ${page})
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
list(TRANSFORM prt_man_pages APPEND .gz OUTPUT_VARIABLE prt_man_archives)
add_custom_target(man-pages ALL DEPENDS ${prt_man_archives})

# The package's changelog must name the version being packaged.
set(changelog ${PROJECT_SOURCE_DIR}/docs/debian/changelog)
file(STRINGS ${changelog} changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^prt2qml \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "docs/debian/changelog starts with '${changelog_head}', "
                      "not an entry for version ${PROJECT_VERSION}")
endif()
set(changelog_gz ${PROJECT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
                   COMMAND gzip -9nc ${changelog} > ${changelog_gz}
                   DEPENDS ${changelog})
add_custom_target(package-changelog ALL DEPENDS ${changelog_gz})

set(docdir ${CMAKE_INSTALL_DATADIR}/doc/prt2qml)
install(FILES ${PROJECT_SOURCE_DIR}/docs/debian/copyright ${changelog_gz}
              ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${docdir})
# The README's links into docs/ stay good in the installed tree.
file(GLOB doc_pages ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${doc_pages} DESTINATION ${docdir}/docs)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images DESTINATION ${docdir}/docs)

if(NOT TARGET qml-preview)
  message(WARNING "qml-preview is not built (no Qt Quick); a package made now lacks it")
endif()

set(PRT_PACKAGE_MAINTAINER "prt2qml maintainers <prt2qml@example.org>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME prt2qml)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PRT_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert operator-panel runtime data sets to QML documents")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
prt2qml turns the compiled runtime data set of an operator-panel project
(a .prt file) into one QML document per screen, each compiled into its Qt
cache file (.qmlc) and optionally enciphered. The output folder changes in
one atomic step once every file is on disk.
.
Companion programs: qml-preview draws the generated screens to PNG files,
prt-inspect shows what a data set holds, prt-check reports what a conversion
would do silently (lost templates, switched languages, missing texts and
fonts, controls off their screen, documents Qt rejects), prt-build makes data sets from a
JSON description and qml-decipher turns an enciphered document back into
text.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PRT_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by qml-preview at run time, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-templates, \
qml6-module-qtquick-window, qml6-module-qt-labs-qmlmodels, qml6-module-qtqml-workerscript, \
fonts-dejavu-core")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)

# Checks of the packaging: the pages against --help, and the converter
# configuring without the test and builder libraries.
if(PRT_BUILD_TESTS)
  add_test(NAME Package.ManPagesMatchHelp
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-man-pages.sh ${CMAKE_RUNTIME_OUTPUT_DIRECTORY} ${prt_man_pages})
  add_test(NAME Package.ConverterAloneConfigures
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-converter-alone.sh ${PROJECT_SOURCE_DIR}
                   ${PROJECT_BINARY_DIR}/converter-alone)
endif()
