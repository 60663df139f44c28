# Install rules, for `cmake --install BUILD [--prefix P]` with DESTDIR and
# components, as packagers expect; `make install` puts them in ~/.local.
#
#   PREFIX/lib/quibbo/            quibbo, quibbo-cli, readme.txt, unicase.so
#                                 and the memory qvd.mdb, side by side: a
#                                 program finds its memory beside its real
#                                 self
#   PREFIX/bin/                   links to the two programs
#   PREFIX/share/man/man1/        quibbo.1, quibbo-cli.1
#   PREFIX/share/applications/    the menu entry, org.example.quibbo.desktop
#   PREFIX/share/metainfo/        what software centres show about Quibbo
#   PREFIX/share/icons/hicolor/   the icons, 16 to 256 pixels and scalable
#   PREFIX/share/bash-completion/completions/quibbo-cli
#
# Components: "programs" (programs, readme, links, manual pages), "desktop"
# (menu entry, metainfo, icons, completion) and "memory", an empty memory
# made only where none exists and never listed in install_manifest.txt, so
# that nothing that removes the listed files deletes what Quibbo learned.
# A system install leaves the memory out (QUIBBO_INSTALL_MEMORY=OFF): no
# one uses a memory beside programs in a folder that is not theirs, and each
# user gets a memory of their own at their first start
# (engine/include/quibbo/memory.h).

set(QUIBBO_INSTALL_PROGRAM_DIR "${CMAKE_INSTALL_LIBDIR}/quibbo" CACHE STRING
  "Where the programs, their readme and their memory go, under the prefix")
option(QUIBBO_INSTALL_MEMORY
  "Install an empty memory beside the programs (off for a system install)" ON)
# The desktop's name for Quibbo: its menu entry, metainfo and icons.
set(QUIBBO_APP_ID org.example.quibbo)

set(programs quibbo-cli)
if(TARGET quibbo)
  list(PREPEND programs quibbo)
endif()
install(TARGETS ${programs}
  RUNTIME DESTINATION ${QUIBBO_INSTALL_PROGRAM_DIR} COMPONENT programs)
install(FILES ${PROJECT_SOURCE_DIR}/ui/readme.txt
  DESTINATION ${QUIBBO_INSTALL_PROGRAM_DIR} COMPONENT programs)
# The SQLite extension with Quibbo's word collation, for the sqlite3 shell.
install(TARGETS unicase
  LIBRARY DESTINATION ${QUIBBO_INSTALL_PROGRAM_DIR} COMPONENT programs)

set(pages ${QUIBBO_MAN_PAGES})
if(NOT TARGET quibbo)
  list(FILTER pages EXCLUDE REGEX "/quibbo\\.1$")
endif()
install(FILES ${pages}
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
install(FILES ${QUIBBO_COMPLETION}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  COMPONENT desktop)

if(TARGET quibbo)
  set(icons ${PROJECT_SOURCE_DIR}/ui/icons)
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${icons}/quibbo-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME ${QUIBBO_APP_ID}.png COMPONENT desktop)
  endforeach()
  install(FILES ${icons}/quibbo.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${QUIBBO_APP_ID}.svg COMPONENT desktop)
  install(FILES ${PROJECT_SOURCE_DIR}/ui/${QUIBBO_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT desktop)
endif()

# The links in bin/ are relative, so that they survive DESTDIR and a moved
# prefix; they are made here and copied as links when installing.
set(QUIBBO_STAGE_DIR ${CMAKE_BINARY_DIR}/install-stage)
file(MAKE_DIRECTORY ${QUIBBO_STAGE_DIR})
foreach(program ${programs})
  file(RELATIVE_PATH target ${CMAKE_INSTALL_FULL_BINDIR}
    ${CMAKE_INSTALL_PREFIX}/${QUIBBO_INSTALL_PROGRAM_DIR}/${program})
  file(CREATE_LINK ${target} ${QUIBBO_STAGE_DIR}/${program} SYMBOLIC)
endforeach()

# What plain rules cannot do runs at install time, from install_steps.cmake.
set(QUIBBO_PROGRAMS "${programs}")
set(steps ${CMAKE_BINARY_DIR}/install_steps.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/install_steps.cmake.in ${steps} @ONLY)
install(CODE "include(\"${steps}\")\nquibbo_install_links()"
  COMPONENT programs)
if(QUIBBO_INSTALL_MEMORY)
  install(CODE "include(\"${steps}\")\nquibbo_install_memory()"
    COMPONENT memory)
endif()
if(TARGET quibbo)
  install(CODE "include(\"${steps}\")\nquibbo_install_menu_entry()"
    COMPONENT desktop)
endif()
