# The Debian package (scripts/package): install rules for the programs, their
# picture, menu entry, icons, metainfo, manual pages, documents and the user
# service, and CPack's DEB generator over them. Configure with
# -DCMAKE_INSTALL_PREFIX=/usr.
include(GNUInstallDirs)

# No domain of its own yet: the reserved .example name stands in. The id names
# the menu entry and the metainfo, so it must change before a public release.
set(TARVOLEN_HOMEPAGE "https://tarvolen.example" CACHE STRING "Home page, base of screenshot URLs")
set(TARVOLEN_APP_ID "example.tarvolen.TarVolen" CACHE STRING "Reverse-DNS application id")
set(TARVOLEN_MAINTAINER "TarVolen developers <tarvolen@tarvolen.example>"
    CACHE STRING "Package maintainer")

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)

set(pkg ${CMAKE_BINARY_DIR}/package-files)
set(here ${CMAKE_SOURCE_DIR}/packaging)
set(outputs)

foreach(size 16 22 24 32 48 64 128 256)
    set(png ${pkg}/icons/${size}x${size}/tarvolen.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${pkg}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${here}/tarvolen.svg
        DEPENDS ${here}/tarvolen.svg VERBATIM)
    list(APPEND outputs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Manual pages and the changelog go in compressed, without a time stamp.
foreach(page tarvolen.1 tarvolen-recorder.1)
    configure_file(${here}/${page}.in ${pkg}/${page} @ONLY)
endforeach()
configure_file(${here}/tarvolen.metainfo.xml.in ${pkg}/${TARVOLEN_APP_ID}.metainfo.xml @ONLY)
foreach(file tarvolen.1 tarvolen-recorder.1 changelog)
    set(source ${pkg}/${file})
    if(file STREQUAL changelog)
        set(source ${here}/changelog)
    endif()
    add_custom_command(OUTPUT ${pkg}/${file}.gz
        COMMAND ${GZIP} -9nc ${source} > ${pkg}/${file}.gz
        DEPENDS ${source})
    list(APPEND outputs ${pkg}/${file}.gz)
endforeach()
add_custom_target(package_files ALL DEPENDS ${outputs})

install(TARGETS tarvolen tarvolen-recorder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# share/tarvolen beside bin/ is also how the program knows it is installed.
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/spinner06.ski
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvolen)
install(FILES ${here}/tarvolen.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        RENAME ${TARVOLEN_APP_ID}.desktop)
install(FILES ${here}/tarvolen.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${pkg}/${TARVOLEN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${pkg}/tarvolen.1.gz ${pkg}/tarvolen-recorder.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${here}/tarvolen-recorder.service DESTINATION lib/systemd/user)

set(doc ${CMAKE_INSTALL_DATADIR}/doc/tarvolen)
install(FILES README.md ${here}/copyright ${pkg}/changelog.gz DESTINATION ${doc})
# Beside the README as in the source tree, so its links hold.
file(GLOB protocol_docs ${CMAKE_SOURCE_DIR}/docs/*protocol*.md)
install(FILES ${protocol_docs} DESTINATION ${doc}/docs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvolen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGE_CONTACT ${TARVOLEN_MAINTAINER})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's window system plugins and the fonts the windows are drawn with.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "controller for a bank of networked video recorders
One operator drives up to 24 recording channels of a bank of networked video
recorders from one window: record and stop them together, run the transport,
watch every channel's state, timecode and clip names, browse and load clips,
and edit the recorders' configuration.
.
tarvolen-recorder emulates such a bank on loopback addresses, for training
rooms and test racks; a systemd user service (not enabled) keeps one running.")
include(CPack)
