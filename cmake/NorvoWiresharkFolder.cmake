# SPDX-License-Identifier: LGPL-2.1-or-later
# Run by `cmake --install` once the dissector is in place; NORVO_DISSECTOR_DIR
# is its folder, relative to the prefix or absolute, NORVO_MULTIARCH the
# library triplet. Wireshark loads global
# Lua plug-ins from its own folder only (Debian: /usr/lib/<triplet>/
# wireshark/plugins), so an install under another prefix (/opt/norvo,
# /usr/local) puts the dissector where no Wireshark looks. Writing into
# Wireshark's folder would leave the prefix, which a prefix install must not
# do; instead the install says where the dissector is and the two ways to
# give it to Wireshark, rather than leave blank protocol columns unexplained.
cmake_minimum_required(VERSION 3.16)

function(norvo_dissector_note)
    set(dir "${NORVO_DISSECTOR_DIR}")
    if(NOT IS_ABSOLUTE "${dir}")
        set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
    endif()
    get_filename_component(dir "${dir}" REALPATH)

    # The folders this machine's Wireshark loads Lua plug-ins from, as tshark
    # reports them (those of the user running the install among them), and
    # their subfolders.
    set(folders "")
    find_program(NORVO_TSHARK tshark)
    if(NORVO_TSHARK)
        execute_process(COMMAND ${NORVO_TSHARK} -G folders
            RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_QUIET)
        if(rc EQUAL 0)
            string(REGEX MATCHALL "Lua Plugins:[ \t]*[^\n]+" lines "${out}")
            foreach(line IN LISTS lines)
                string(REGEX REPLACE "^Lua Plugins:[ \t]*" "" folder "${line}")
                get_filename_component(folder "${folder}" REALPATH)
                string(FIND "${dir}/" "${folder}/" at)
                if(at EQUAL 0)
                    return()
                endif()
                list(APPEND folders "${folder}")
            endforeach()
        endif()
    endif()
    if(folders)
        string(REPLACE ";" " and " where "loads them from ${folders}")
    elseif(NORVO_MULTIARCH AND dir STREQUAL "/usr/lib/${NORVO_MULTIARCH}/wireshark/plugins")
        # Debian's folder, as a package build without tshark installs it.
        return()
    else()
        set(where "was not found; `tshark -G folders` lists where it loads them from")
    endif()

    message(WARNING "The Wireshark dissector is installed as ${dir}/norvo.lua, "
        "where Wireshark and tshark do not load Lua plug-ins (tshark ${where}): "
        "without it, captures of --pcap show blank protocol columns. "
        "Give it to Wireshark in one of two ways, and only where no other copy "
        "(such as the norvo-tools package's) is loaded already:\n"
        "  for your user, link it into the personal Lua plug-in folder:\n"
        "    mkdir -p ~/.local/lib/wireshark/plugins\n"
        "    ln -sf ${dir}/norvo.lua ~/.local/lib/wireshark/plugins/\n"
        "  or name it on each run:\n"
        "    tshark -X lua_script:${dir}/norvo.lua -r capture.pcap\n")
endfunction()

norvo_dissector_note()
