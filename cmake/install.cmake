# What a finish-line PC gets: the program, px3tool, the desktop entry, the MIME type of *.px3
# recordings, the icon and the manual pages, installed with `cmake --install` or as a Debian package
# (`cpack -G DEB`, or the `package` target). The desktop files are also built into the program, so that
# "Associate" installs the very same files for one user.
include(GNUInstallDirs)

set(VELTRO_DATA_SOURCE ${CMAKE_SOURCE_DIR}/data)
set(VELTRO_DATA_BUILD ${CMAKE_BINARY_DIR}/data)

# The icon: one SVG, the fixed sizes of the hicolor theme rendered from it.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(VELTRO_ICON_SIZES 16 22 24 32 48 64 128 256)
set(veltro_icon_svg ${VELTRO_DATA_SOURCE}/icons/veltro.svg)
set(veltro_icon_pngs)
foreach(size IN LISTS VELTRO_ICON_SIZES)
    set(folder icons/hicolor/${size}x${size}/apps)
    set(png ${VELTRO_DATA_BUILD}/${folder}/veltro.png)
    add_custom_command(
        OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${VELTRO_DATA_BUILD}/${folder}
        COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${veltro_icon_svg}
        DEPENDS ${veltro_icon_svg}
        COMMENT "Rendering the ${size}x${size} icon"
        VERBATIM)
    set_source_files_properties(${png} PROPERTIES QT_RESOURCE_ALIAS ${folder}/veltro.png)
    list(APPEND veltro_icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/${folder})
endforeach()

# The packaged desktop entry runs the program found on the PATH; "Associate" puts its own path there.
block()
    set(EXEC veltro)
    configure_file(${VELTRO_DATA_SOURCE}/veltro.desktop.in ${VELTRO_DATA_BUILD}/veltro.desktop @ONLY)
endblock()

# Inside the program, under :/veltro/, each file at its place below share/ (the entry as its template).
set_source_files_properties(${veltro_icon_svg} PROPERTIES QT_RESOURCE_ALIAS icons/hicolor/scalable/apps/veltro.svg)
set_source_files_properties(${VELTRO_DATA_SOURCE}/veltro.xml PROPERTIES QT_RESOURCE_ALIAS mime/packages/veltro.xml)
set_source_files_properties(${VELTRO_DATA_SOURCE}/veltro.desktop.in PROPERTIES QT_RESOURCE_ALIAS
                                                                               applications/veltro.desktop.in)
qt_add_resources(veltro_ui veltro_desktop_files PREFIX /veltro
                 FILES ${veltro_icon_pngs} ${veltro_icon_svg} ${VELTRO_DATA_SOURCE}/veltro.xml
                       ${VELTRO_DATA_SOURCE}/veltro.desktop.in)

install(TARGETS veltro px3tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VELTRO_DATA_BUILD}/veltro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELTRO_DATA_SOURCE}/veltro.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${veltro_icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the changelog go compressed, as Debian's policy wants them (gzip -n: no name or
# time stamp inside, so the package is the same from one build to the next).
find_program(GZIP gzip REQUIRED)
configure_file(${VELTRO_DATA_SOURCE}/changelog.in ${VELTRO_DATA_BUILD}/changelog @ONLY)
set(veltro_gzipped)
foreach(file man/veltro.1 man/px3tool.1 changelog)
    if(EXISTS ${VELTRO_DATA_BUILD}/${file})
        set(plain ${VELTRO_DATA_BUILD}/${file})
    else()
        set(plain ${VELTRO_DATA_SOURCE}/${file})
    endif()
    set(gz ${VELTRO_DATA_BUILD}/${file}.gz)
    add_custom_command(
        OUTPUT ${gz}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${VELTRO_DATA_BUILD}/man
        COMMAND ${GZIP} -9nc ${plain} > ${gz}
        DEPENDS ${plain}
        COMMENT "Compressing ${file}")
    list(APPEND veltro_gzipped ${gz})
endforeach()
add_custom_target(veltro_gzipped ALL DEPENDS ${veltro_gzipped})
install(FILES ${VELTRO_DATA_BUILD}/man/veltro.1.gz ${VELTRO_DATA_BUILD}/man/px3tool.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VELTRO_DATA_BUILD}/changelog.gz ${VELTRO_DATA_SOURCE}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/veltro)
install(FILES ${VELTRO_DATA_SOURCE}/veltro-guide.doc-base DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base
        RENAME veltro-guide)

# The Debian package. Its Depends come from the libraries the two programs link (dpkg-shlibdeps).
# No maintainer scripts: shared-mime-info, desktop-file-utils and hicolor-icon-theme watch their
# folders with dpkg triggers and rebuild the MIME database, the desktop entry cache and the icon cache
# whenever a package puts files there or takes them away.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltro)
set(CPACK_PACKAGE_VENDOR "Veltro")
set(CPACK_PACKAGE_CONTACT "Veltro developers <veltro-dev@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo-finish timing for dog races")
# Lines of at most 80 characters, as dpkg shows them.
set(CPACK_PACKAGE_DESCRIPTION
    "Veltro films the finish line of a dog race from an HDMI capture device,\n"
    "takes the heat start from a contact switch and stores every heat as a\n"
    "recording of time-stamped pictures. The operator judges each dog against\n"
    "a goal line, ranks the boxes, and prints and publishes the result.\n"
    "px3tool reads, checks and exports the recordings from the command line.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The face names are drawn in; without it they fall back to a 5x7 font of capitals.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
include(CPack)
