# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Bopatron authors
# Copies the assets into the program folder. Scores.txt is copied only when
# the folder has none, so that rebuilding keeps the scores played there.
file(GLOB files RELATIVE ${SRC} ${SRC}/*)
foreach(name IN LISTS files)
    if(name STREQUAL "Scores.txt")
        if(NOT EXISTS ${DST}/${name})
            file(COPY ${SRC}/${name} DESTINATION ${DST})
        endif()
    else()
        file(COPY ${SRC}/${name} DESTINATION ${DST})
    endif()
endforeach()
