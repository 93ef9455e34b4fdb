# Checks that the README and the change log quote the product version the
# build states once, in the top-level project() call.
#   -DVERSION=<x.y.z> -DREADME=<README.md> -DCHANGELOG=<CHANGELOG.md>
string(REPLACE "." "\\." version_pattern "${VERSION}")
file(READ ${README} readme)
if(NOT readme MATCHES "Clasp ${version_pattern}[^0-9]")
  message(FATAL_ERROR "README.md does not say 'Clasp ${VERSION}'")
endif()
file(READ ${CHANGELOG} changelog)
# Changes not yet released gather above the newest release, under "## Unreleased".
string(REPLACE "\n## Unreleased\n" "\n" changelog "${changelog}")
# The newest entry comes first and must be this version.
string(FIND "${changelog}" "\n## " first_entry)
if(first_entry LESS 0)
  message(FATAL_ERROR "CHANGELOG.md has no '## ' entry")
endif()
string(SUBSTRING "${changelog}" ${first_entry} -1 newest)
if(NOT newest MATCHES "^\n## ${version_pattern}[^0-9]")
  message(FATAL_ERROR "the first entry of CHANGELOG.md is not '## ${VERSION}'")
endif()
