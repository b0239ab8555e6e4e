# What `cmake --install` puts where, and the Debian package CPack makes of it (`make package`).
# Every install rule of the project is here, so the package's contents can be read in one place.

include(GNUInstallDirs)

# The desktop entry is installed under the AppStream id, so software centres can pair the two.
set(QUORVANE_APP_ID com.quorvane.Quorvane)
set(QUORVANE_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(QUORVANE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/quorvane)

# Folders made on the way get the usual modes whatever the builder's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(QUORVANE_INSTALLED_PROGRAMS quorvane quorvane-sample quorvane-cli quorvane-pagecheck)
install(TARGETS ${QUORVANE_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Installed there, a program keeps its files in the user's folders, never beside itself.
target_compile_definitions(quorvane_store PRIVATE
    QUORVANE_INSTALL_BINDIR="${CMAKE_INSTALL_FULL_BINDIR}")

install(FILES ${PROJECT_SOURCE_DIR}/app/resources/quorvane.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    RENAME ${QUORVANE_APP_ID}.desktop)
install(FILES ${QUORVANE_PACKAGING}/${QUORVANE_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/app/resources/quorvane.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128)
    install(FILES ${PROJECT_SOURCE_DIR}/app/resources/quorvane-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME quorvane.png)
endforeach()

# Manual pages and the changelog are installed compressed, as Debian's policy asks; -n keeps
# the time stamp out of the archive so that two builds give the same bytes.
find_program(QUORVANE_GZIP gzip REQUIRED)
set(compressed_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(compressed_files)
function(quorvane_compress source target_name)
    set(plain ${compressed_dir}/${target_name})
    add_custom_command(OUTPUT ${plain}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed_dir}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
        COMMAND ${QUORVANE_GZIP} -9nf ${plain}
        DEPENDS ${source}
        VERBATIM)
    set(compressed_files ${compressed_files} ${plain}.gz PARENT_SCOPE)
endfunction()

set(man_pages quorvane quorvane-cli quorvane-pagecheck quorvane-sample)
foreach(page ${man_pages})
    # The version in a page's header is the project's.
    configure_file(${QUORVANE_PACKAGING}/man/${page}.1 ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1
        @ONLY)
    quorvane_compress(${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1 ${page}.1)
    install(FILES ${compressed_dir}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# A native package: its one changelog is the Debian one, named changelog.gz.
quorvane_compress(${QUORVANE_PACKAGING}/deb/changelog changelog)
install(FILES ${compressed_dir}/changelog.gz DESTINATION ${QUORVANE_DOCDIR})

add_custom_target(quorvane-compressed ALL DEPENDS ${compressed_files})

# Loaded on demand by bash-completion, by the command's name.
install(FILES ${QUORVANE_PACKAGING}/completion/quorvane-cli
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

install(FILES ${QUORVANE_PACKAGING}/deb/copyright DESTINATION ${QUORVANE_DOCDIR})
install(FILES ${QUORVANE_PACKAGING}/deb/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME quorvane)

# Everything the install rules above need built; `make package` builds only this.
add_custom_target(quorvane-installables)
add_dependencies(quorvane-installables ${QUORVANE_INSTALLED_PROGRAMS} quorvane-compressed)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "The Quorvane developers <developers@quorvane.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "keyword research: suggested phrases with their searches and popularity")
set(CPACK_PACKAGE_DESCRIPTION [=[
Type a seed keyword and press Suggest: Quorvane fetches up to 100 suggested
phrases with their monthly searches from a keyword database, then the search
engine's result page of each phrase, and lists each phrase's share of
searches, running sum, popularity (result count) and popularity per search.
Every run is saved as a fixed-column text report that is reused within the
month.

The package also holds quorvane-cli, which runs keywords (one or a list of
seeds) from a terminal, a script or a schedule on the same reports and history
and prints them as a table, TSV, CSV or JSON; quorvane-sample, the same window
on built-in sample data; and quorvane-pagecheck, which shows what the page
parsers make of a saved page.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quorvane.com/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Keys of the paid sources live in the Secret Service through QtKeychain (libqt6keychain1, which
# the shared-library scan adds); without a Secret Service they are kept in memory only.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
