# Installation and the .deb.
#
# Two layouts, each an install component:
#   standard  bin/silvaro, share/silvaro/template/ (the files a user's application folder
#             starts from), the desktop entry, the icons, the AppStream data, the man page,
#             and in share/doc/silvaro/ the README, the copyright and the changelog.
#             An installed program keeps each user's data in the user's own folder.
#   portable  one flat folder: the program beside its archive, img/nd.jpg and trattamenti.txt.
# `cmake --install` installs the standard layout, or the portable one with SILVARO_PORTABLE=ON;
# `cmake --install build --component portable|standard` picks either from any build tree.
# Nothing here writes outside $DESTDIR, and an existing archive is never replaced.

include(GNUInstallDirs)

set(SILVARO_APP_ID org.silvaro.Silvaro)

# Who answers for a package and where the project lives are the packager's to say; nothing
# here makes up an address. Build folders configured before may still hold the placeholders
# on example.org that were the defaults then.
if(SILVARO_HOMEPAGE STREQUAL "https://silvaro.example.org/")
    unset(SILVARO_HOMEPAGE CACHE)
endif()
if(SILVARO_SCREENSHOT_URL STREQUAL "https://silvaro.example.org/docs/main-window.png")
    unset(SILVARO_SCREENSHOT_URL CACHE)
endif()
if(SILVARO_MAINTAINER STREQUAL "Silvaro developers <silvaro@example.org>")
    unset(SILVARO_MAINTAINER CACHE)
endif()
set(SILVARO_HOMEPAGE "" CACHE STRING "The project's home page (none when empty)")
if(SILVARO_HOMEPAGE)
    set(screenshot_default "${SILVARO_HOMEPAGE}docs/main-window.png")
else()
    set(screenshot_default "")
endif()
# Software centres take a screenshot only from a web address, so with none the AppStream
# data names no screenshot.
set(SILVARO_SCREENSHOT_URL "${screenshot_default}"
    CACHE STRING "Address of the picture of the main window, for software centres (none when empty)")
# The maintainer of a .deb is whoever builds it, as Debian's own tools take it: DEBFULLNAME
# and DEBEMAIL, else the git identity of the source tree. With neither, an address in the
# reserved domain .invalid says plainly that there is no one to write to.
if(NOT DEFINED SILVARO_MAINTAINER)
    set(maintainer_name "$ENV{DEBFULLNAME}")
    set(maintainer_mail "$ENV{DEBEMAIL}")
    find_program(GIT_PROGRAM git)
    if(GIT_PROGRAM AND (maintainer_name STREQUAL "" OR maintainer_mail STREQUAL ""))
        foreach(field name email)
            execute_process(COMMAND ${GIT_PROGRAM} -C ${CMAKE_SOURCE_DIR} config user.${field}
                            OUTPUT_VARIABLE git_${field} OUTPUT_STRIP_TRAILING_WHITESPACE
                            ERROR_QUIET)
        endforeach()
        if(NOT git_name STREQUAL "" AND NOT git_email STREQUAL "")
            set(maintainer_name "${git_name}")
            set(maintainer_mail "${git_email}")
        endif()
    endif()
    if(maintainer_name STREQUAL "" OR maintainer_mail STREQUAL "")
        set(maintainer_name "Silvaro developers")
        set(maintainer_mail "silvaro@silvaro.invalid")
        message(STATUS "No maintainer known for the .deb (set DEBFULLNAME and DEBEMAIL, a git "
                       "identity or SILVARO_MAINTAINER): using ${maintainer_mail}")
    endif()
    set(SILVARO_MAINTAINER "${maintainer_name} <${maintainer_mail}>"
        CACHE STRING "Maintainer named in the .deb and its changelog")
endif()

if(SILVARO_PORTABLE)
    set(standard_only EXCLUDE_FROM_ALL)
    set(portable_only)
else()
    set(standard_only)
    set(portable_only EXCLUDE_FROM_ALL)
endif()

# --- The program: window icon, application id, where the installed templates are ---------

target_sources(silvaro PRIVATE ${CMAKE_SOURCE_DIR}/packaging/icons/icons.qrc)
# The templates have a folder of their own, template/ (Debian's tools also know the files in
# a folder of that name for what they are: no documentation, though trattamenti.txt ends in
# .txt). Relative, so that the program finds them whatever prefix it was installed to.
set(templates_dir ${CMAKE_INSTALL_DATADIR}/silvaro/template)
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_DATADIR}")
    file(RELATIVE_PATH templates_relative ${CMAKE_INSTALL_FULL_BINDIR}
         ${CMAKE_INSTALL_FULL_DATADIR}/silvaro/template)
else()
    file(RELATIVE_PATH templates_relative /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${templates_dir})
endif()
target_compile_definitions(silvaro PRIVATE
    SILVARO_TEMPLATES_RELATIVE="${templates_relative}"
    SILVARO_APP_ID="${SILVARO_APP_ID}")

# --- Files made by the build ---------------------------------------------------------------

# The empty archive that a new application folder starts from, made afresh from the schema
# (never the build tree's own archive, which may hold a developer's data).
set(SILVARO_TEMPLATE_ARCHIVE ${CMAKE_BINARY_DIR}/template/dbpiante.mdb)
add_custom_command(OUTPUT ${SILVARO_TEMPLATE_ARCHIVE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/template
    COMMAND ${CMAKE_COMMAND} -E rm -f ${SILVARO_TEMPLATE_ARCHIVE}
    COMMAND silvaro-makedb ${CMAKE_SOURCE_DIR}/resources/schema.sql ${SILVARO_TEMPLATE_ARCHIVE}
    DEPENDS silvaro-makedb ${CMAKE_SOURCE_DIR}/resources/schema.sql
    COMMENT "Making the empty archive of new application folders"
    VERBATIM)

# The man page and the changelog go compressed, as Debian has them: gzip -9n keeps neither
# name nor time, so the same sources give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(SILVARO_MAN_PAGE ${CMAKE_BINARY_DIR}/packaging/silvaro.1.gz)
set(SILVARO_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
function(silvaro_gzip source compressed)
    string(REGEX REPLACE "\\.gz$" "" uncompressed "${compressed}")
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${uncompressed}
        COMMAND ${GZIP_PROGRAM} -9nf ${uncompressed}
        DEPENDS ${source}
        VERBATIM)
endfunction()
silvaro_gzip(${CMAKE_SOURCE_DIR}/packaging/silvaro.1 ${SILVARO_MAN_PAGE})
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in
               ${CMAKE_BINARY_DIR}/packaging/changelog-text/changelog @ONLY)
silvaro_gzip(${CMAKE_BINARY_DIR}/packaging/changelog-text/changelog ${SILVARO_CHANGELOG})

# Building the program alone leaves everything that `cpack` and `cmake --install` take.
add_custom_target(silvaro_install_files ALL
    DEPENDS ${SILVARO_TEMPLATE_ARCHIVE} ${SILVARO_MAN_PAGE} ${SILVARO_CHANGELOG})
add_dependencies(silvaro silvaro_install_files)

# The home page and the screenshot only when they are known.
file(READ ${CMAKE_SOURCE_DIR}/packaging/${SILVARO_APP_ID}.metainfo.xml.in metainfo)
if(SILVARO_HOMEPAGE STREQUAL "")
    string(REGEX REPLACE "[ ]*<url type=\"homepage\">[^\n]*\n" "" metainfo "${metainfo}")
endif()
if(SILVARO_SCREENSHOT_URL STREQUAL "")
    string(REGEX REPLACE "[ ]*<screenshots>.*</screenshots>\n" "" metainfo "${metainfo}")
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packaging/${SILVARO_APP_ID}.metainfo.xml
     CONTENT "${metainfo}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/packaging/${SILVARO_APP_ID}.metainfo.xml.in)

# A stripped install (`cmake --install --strip`, and cpack, which strips) also drops the
# compiler's .comment and .note sections, as Debian's own stripping does: nothing at run
# time reads them.
function(silvaro_strip_notes file component)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                                    --remove-section=.note
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${file}\"
                            RESULT_VARIABLE status)
            if(NOT status EQUAL 0)
                message(FATAL_ERROR \"${CMAKE_STRIP} could not strip ${file}\")
            endif()
        endif()"
        COMPONENT ${component} ${ARGN})
endfunction()

# --- Standard layout -----------------------------------------------------------------------

install(TARGETS silvaro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT standard ${standard_only})
silvaro_strip_notes(${CMAKE_INSTALL_BINDIR}/silvaro standard ${standard_only})
install(FILES ${SILVARO_TEMPLATE_ARCHIVE} ${CMAKE_SOURCE_DIR}/resources/trattamenti.txt
        DESTINATION ${templates_dir} COMPONENT standard ${standard_only})
install(FILES ${CMAKE_SOURCE_DIR}/resources/nd.jpg
        DESTINATION ${templates_dir}/img COMPONENT standard ${standard_only})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${SILVARO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT standard ${standard_only})
install(FILES ${CMAKE_BINARY_DIR}/packaging/${SILVARO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT standard ${standard_only})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/${SILVARO_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        COMPONENT standard ${standard_only})
# The sizes of the hicolor theme's usual folders; packaging/render-icons makes them from the SVG.
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/${SILVARO_APP_ID}-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${SILVARO_APP_ID}.png COMPONENT standard ${standard_only})
endforeach()
install(FILES ${SILVARO_MAN_PAGE}
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT standard ${standard_only})
# The licence is in the copyright file, in Debian's machine-readable form, which points to
# the system's copy of the GPL. The changelog is the one of a native package, changelog.gz:
# the packaging is the project's own and the version has no Debian revision.
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
              ${SILVARO_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/silvaro COMPONENT standard ${standard_only})

# --- Portable folder -----------------------------------------------------------------------

install(TARGETS silvaro RUNTIME DESTINATION . COMPONENT portable ${portable_only})
silvaro_strip_notes(silvaro portable ${portable_only})
install(FILES ${CMAKE_SOURCE_DIR}/resources/nd.jpg
        DESTINATION img COMPONENT portable ${portable_only})
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . COMPONENT portable ${portable_only})
# The archive and the list of treatment types are the user's: laid out only where missing.
# file(INSTALL) adds $DESTDIR itself; the test for an existing file must add it too.
install(CODE "
    foreach(source \"${SILVARO_TEMPLATE_ARCHIVE}\" \"${CMAKE_SOURCE_DIR}/resources/trattamenti.txt\")
        get_filename_component(name \"\${source}\" NAME)
        if(EXISTS \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${name}\")
            message(STATUS \"Kept: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${name}\")
        else()
            file(INSTALL \"\${source}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
        endif()
    endforeach()"
    COMPONENT portable ${portable_only})

# --- The .deb: cpack -G DEB in the build folder --------------------------------------------

if(NOT SILVARO_PORTABLE)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME silvaro)
    set(CPACK_PACKAGE_VENDOR "Silvaro developers")
    set(CPACK_PACKAGE_CONTACT "${SILVARO_MAINTAINER}")
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "register of a plant collection and of its care")
    # Lines of at most 80 characters, as Debian's tools show them.
    set(CPACK_PACKAGE_DESCRIPTION
        "Silvaro keeps one card per plant of a personal collection, for hobbyists
and bonsai growers, and a dated log of the care each plant got: watering,
fertilising, flowering, repotting, pruning and more. The main window lists
every plant with its last care events; a search narrows the list, and a card
can be viewed and printed with its picture. The interface is in Italian.")
    set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION misc)
    if(SILVARO_HOMEPAGE)
        set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${SILVARO_HOMEPAGE}")
    endif()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # Loaded as plug-ins, so not found from the program's libraries: the archive's SQL
    # driver and the display back-ends.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
    # Qt's own buttons and dialogs in Italian.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    include(CPack)
endif()
