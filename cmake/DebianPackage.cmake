# The Debian package, made by CPack from the install rules (`tools/dev package`, or `cpack -G DEB`
# in a build folder): nixora_<version>-1_amd64.deb, installing under /usr exactly what
# `cmake --install` puts in place, plus the Debian changelog that Debian's tools look for.
# dpkg-shlibdeps (package dpkg-dev) finds the Depends.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nixora)
set(CPACK_PACKAGE_VENDOR "Melqori Software")
set(CPACK_PACKAGE_CONTACT "Melqori Software <nixora@nixora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "manage the Add/Remove Programs entries of Wine prefixes")
# The long description in lines of at most 80 columns, as Debian wants it; CPack indents them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Nixora lists the entries that Windows installers leave in the Add/Remove\n"
       "Programs list of a Wine prefix (Wine, Proton, Bottles, Lutris, Heroic) and\n"
       "marks the phantom entries whose uninstaller is gone. It runs an entry's\n"
       "uninstaller and checks that the entry went, removes entries after backing\n"
       "them up, restores and deletes those backups, and edits an entry's name,\n"
       "uninstaller and version.\n"
       ".\n"
       "It also finds the menu entries, desktop links and file associations Wine\n"
       "made for a prefix's programs, and removes the stale ones with a backup.\n"
       ".\n"
       "Without a window it lists the entries, the backups and every prefix it finds\n"
       "(TSV or JSON), and removes the phantom entries of one prefix or all of them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS wine)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.nixora.example/nixora/")
# The changelog's date: the release's date in the AppStream metadata, in the form Debian wants.
file(STRINGS ${PROJECT_SOURCE_DIR}/desktop/example.nixora.Nixora.metainfo.xml release
     REGEX "<release version=\"${PROJECT_VERSION}\" date=" LIMIT_COUNT 1)
string(REGEX MATCH "[0-9]+-[0-9]+-[0-9]+" release_date "${release}")
execute_process(COMMAND date -u -R -d "${release_date} 00:00 UTC"
                OUTPUT_VARIABLE CPACK_NIXORA_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE failed)
if(failed OR release_date STREQUAL "")
  message(FATAL_ERROR "the metadata has no release ${PROJECT_VERSION} with a date")
endif()
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianChangelog.cmake)
include(CPack)
