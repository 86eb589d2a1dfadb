# Installed files and the Debian package (`make package`, or `cpack -G DEB` in a build folder).
# The package installs under CMAKE_INSTALL_PREFIX, the prefix the program was built for: it
# finds its guide there. `make package` configures its own build folder with /usr.

set(QB_APP_ID org.quietbox.quietbox)
set(QB_SCREENSHOT_BASE_URL "" CACHE STRING
    "Public web address of doc/images/, to list the screenshots in the AppStream metainfo")

include(${CMAKE_CURRENT_LIST_DIR}/QuietboxMetainfo.cmake)
qb_write_metainfo(${PROJECT_SOURCE_DIR}/packaging/${QB_APP_ID}.metainfo.xml.in
                  ${PROJECT_BINARY_DIR}/packaging/${QB_APP_ID}.metainfo.xml
                  "${QB_SCREENSHOT_BASE_URL}")

# Manual pages, compressed as Debian installs them.
set(QB_DOCDIR ${CMAKE_INSTALL_FULL_DOCDIR})
set(qb_man_pages "")
foreach(page quietbox.1 quietbox-archive.1 quietbox-docs.1)
    configure_file(packaging/man/${page} ${PROJECT_BINARY_DIR}/packaging/man/${page} @ONLY)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/man/${page}.gz
        COMMAND gzip -9 -n -f -k ${page}
        DEPENDS ${PROJECT_BINARY_DIR}/packaging/man/${page}
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging/man
        VERBATIM)
    list(APPEND qb_man_pages ${PROJECT_BINARY_DIR}/packaging/man/${page}.gz)
endforeach()
# Debian wants a changelog beside the copyright of every package.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging
    VERBATIM)
add_custom_target(quietbox_man ALL DEPENDS ${qb_man_pages} ${PROJECT_BINARY_DIR}/packaging/changelog.gz)

install(DIRECTORY doc/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${qb_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/${QB_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${QB_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/quietbox.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${QB_APP_ID}.svg)
install(FILES packaging/quietbox.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
        RENAME ${QB_APP_ID}.png)
install(FILES packaging/${QB_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${QB_APP_ID}.xml)
install(FILES packaging/quietbox-archive.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quietbox-archive)
install(FILES packaging/quietbox-docs.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quietbox-docs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quietbox)
set(CPACK_PACKAGE_VENDOR "Quietbox maintainers")
set(CPACK_PACKAGE_CONTACT "Quietbox maintainers <maintainers@users.noreply.c-seed-4ab21414.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keep documents out of sight in private, encrypted databases")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quietbox keeps rich text, pictures and embedded files in private local\n"
    "databases that can be protected by a password and are then encrypted at\n"
    "rest (SQLCipher). Documents are dropped or pasted onto its window or onto\n"
    "the small target it collapses into, then listed, previewed, edited,\n"
    "renamed, searched, backed up and restored.\n"
    "\n"
    "quietbox-archive backs up and restores its databases from scripts;\n"
    "quietbox-docs lists, exports and imports their documents.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
