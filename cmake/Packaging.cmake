# Install rules and the Debian package built from them: `cmake --install` into a prefix and the
# package (make package, or cpack in the build folder) hold the same tree.
include(GNUInstallDirs)

install(TARGETS tonvara RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/tonvara.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/tonvara.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES data/org.tonvara.Tonvara.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(DIRECTORY examples/targets/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tonvara/targets
        FILES_MATCHING PATTERN "*.wav")

# The manual page carries the version and, as Debian installs them, is compressed.
set(TONVARA_MANUAL_PAGE ${CMAKE_BINARY_DIR}/data/tonvara.1)
configure_file(data/tonvara.1.in ${TONVARA_MANUAL_PAGE} @ONLY)
add_custom_command(OUTPUT ${TONVARA_MANUAL_PAGE}.gz
    COMMAND gzip -9 -n -k -f ${TONVARA_MANUAL_PAGE}
    DEPENDS ${TONVARA_MANUAL_PAGE})
add_custom_target(tonvara_manual_page ALL DEPENDS ${TONVARA_MANUAL_PAGE}.gz)
install(FILES ${TONVARA_MANUAL_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

execute_process(COMMAND dpkg --print-architecture
    OUTPUT_VARIABLE TONVARA_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE)
set(TONVARA_PACKAGE_FILE tonvara_${PROJECT_VERSION}_${TONVARA_PACKAGE_ARCHITECTURE}.deb)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonvara)
set(CPACK_PACKAGE_VENDOR "The Tonvara developers")
set(CPACK_PACKAGE_CONTACT "The Tonvara developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "frequency-matching listening experiment")
set(CPACK_PACKAGE_DESCRIPTION [[
Tonvara runs a psychoacoustic frequency-matching experiment: a listener hears
a target sound from a WAV file and tunes a pure tone until both sound the same.
The experimenter's window shows the target's waveform and amplitude spectrum
and plots every tone the listener asks for; the matches are saved to a
tab-separated results file. Demo targets are included.]])
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME ${TONVARA_PACKAGE_FILE})
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${TONVARA_PACKAGE_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt Multimedia plays sound through back-end plugins it loads at run time, which shlibdeps cannot
# see; the PulseAudio one needs a server to talk to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5multimedia5-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
include(CPack)
