# Run by cpack before it builds the package: a version bump without a new
# changelog entry would ship a changelog that describes another version.
file(STRINGS "${CPACK_QUORVANE_CHANGELOG}" first LIMIT_COUNT 1)
if(NOT first MATCHES "^${CPACK_PACKAGE_NAME} \\(([^)]*)\\)")
  message(FATAL_ERROR "${CPACK_QUORVANE_CHANGELOG}: first line \"${first}\" is not a changelog entry")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL CPACK_PACKAGE_VERSION)
  message(FATAL_ERROR "${CPACK_QUORVANE_CHANGELOG}: newest entry is ${CMAKE_MATCH_1}, the package "
                      "is ${CPACK_PACKAGE_VERSION}; add an entry for the new version")
endif()
