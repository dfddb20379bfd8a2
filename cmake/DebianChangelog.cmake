# Run by CPack after it has installed the files to package (CPACK_PRE_BUILD_SCRIPTS): adds the
# changelog.Debian.gz that Debian policy asks of every package with a Debian revision. It says
# which version was packaged; the date is the release's, so that two builds give the same file.
set(doc "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/nixora")
set(version "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
file(WRITE "${doc}/changelog.Debian"
     "nixora (${version}) unstable; urgency=medium\n\n"
     "  * Nixora ${CPACK_PACKAGE_VERSION}, packaged from its install rules by CPack.\n\n"
     " -- ${CPACK_PACKAGE_CONTACT}  ${CPACK_NIXORA_CHANGELOG_DATE}\n")
execute_process(COMMAND gzip -9nf "${doc}/changelog.Debian" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip of ${doc}/changelog.Debian failed")
endif()
