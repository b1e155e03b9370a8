# SPDX-License-Identifier: LGPL-2.1-or-later
# The fuzz target functions, built into the fuzzers and into the corpus
# replay test of tests/robust.
set(NORVO_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(NORVO_FUZZ_SOURCES
    ${NORVO_FUZZ_DIR}/fuzzcheck.cpp
    ${NORVO_FUZZ_DIR}/fuzz_answers.cpp
    ${NORVO_FUZZ_DIR}/fuzz_labels.cpp
    ${NORVO_FUZZ_DIR}/fuzz_connection.cpp
    ${NORVO_FUZZ_DIR}/fuzz_records.cpp
    ${NORVO_FUZZ_DIR}/fuzz_owed.cpp)
