# What is installed beside the programs: the manual page and the bash
# completion, both generated from the built program so they never drift from
# it, and the licence and changelog where Debian keeps them.
set(NORVEX_DOCS_DIR "${CMAKE_BINARY_DIR}/share")

find_program(NORVEX_HELP2MAN help2man)
if(NORVEX_HELP2MAN)
  set(man_page "${NORVEX_DOCS_DIR}/man/man1/norvex.1.gz")
  add_custom_command(OUTPUT "${man_page}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${NORVEX_DOCS_DIR}/man/man1"
    COMMAND "${CMAKE_COMMAND}" "-DNORVEX=$<TARGET_FILE:norvex>" "-DHELP2MAN=${NORVEX_HELP2MAN}"
            "-DOUTPUT=${man_page}" -P "${PROJECT_SOURCE_DIR}/cmake/NorvexManPage.cmake"
    DEPENDS norvex "${PROJECT_SOURCE_DIR}/cmake/NorvexManPage.cmake"
    COMMENT "Writing the manual page with help2man"
    VERBATIM)
  install(FILES "${man_page}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
else()
  message(STATUS "help2man not found: no manual page (scripts/install-deps.sh build installs it)")
endif()

set(completion "${NORVEX_DOCS_DIR}/bash-completion/completions/norvex")
add_custom_command(OUTPUT "${completion}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${NORVEX_DOCS_DIR}/bash-completion/completions"
  COMMAND sh -c "\"$1\" completion bash > \"$2\"" sh "$<TARGET_FILE:norvex>" "${completion}"
  DEPENDS norvex
  COMMENT "Writing the bash completion"
  VERBATIM)
install(FILES "${completion}" DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions")

add_custom_target(norvex_docs ALL DEPENDS "${completion}" $<$<BOOL:${NORVEX_HELP2MAN}>:${man_page}>)

# Debian's places for the licence and the changelog (compressed as its tools do).
set(changelog "${NORVEX_DOCS_DIR}/doc/norvex/changelog.gz")
add_custom_command(OUTPUT "${changelog}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${NORVEX_DOCS_DIR}/doc/norvex"
  COMMAND sh -c "gzip -9 -n -c \"$1\" > \"$2\"" sh "${PROJECT_SOURCE_DIR}/packaging/debian/changelog" "${changelog}"
  DEPENDS "${PROJECT_SOURCE_DIR}/packaging/debian/changelog"
  VERBATIM)
add_custom_target(norvex_changelog ALL DEPENDS "${changelog}")
install(FILES "${PROJECT_SOURCE_DIR}/packaging/debian/copyright" "${changelog}"
  DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# The changelog's newest entry names the version the package is built as.
file(STRINGS "${PROJECT_SOURCE_DIR}/packaging/debian/changelog" changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^norvex \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with '${changelog_head}', not version ${PROJECT_VERSION}: "
                      "add an entry for ${PROJECT_VERSION} at its top")
endif()
