# The time the game's PE header carries, in seconds since 1970: a true date,
# yet the same bytes on every machine. SOURCE_DATE_EPOCH at configure time
# names it, as it names the archive members' time; otherwise the time of the
# commit checked out in this source tree. Where neither is known (sources
# without their git history) it stays 0, the undated header.
# Sets GLIDORA_SOURCE_DATE_EPOCH. A new commit, a checkout or a rebase
# rewrites the files git keeps HEAD in, which makes CMake run again, so that
# the game is relinked with its commit's time.

set(GLIDORA_SOURCE_DATE_EPOCH 0)
find_package(Git QUIET)

# Output of git in the source tree, empty when git fails. A checkout owned by
# another user (a bind mount, a CI checkout) is one git refuses to read by
# default; this only reads it.
function(glidora_git out)
    execute_process(COMMAND ${GIT_EXECUTABLE} -c safe.directory=* ${ARGN}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE text
                    RESULT_VARIABLE failed ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(failed)
        set(text "")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(GIT_FOUND)
    # Only this project's own history: sources unpacked inside another
    # repository are not that repository's commit.
    glidora_git(top rev-parse --show-toplevel)
    if(top)
        file(REAL_PATH "${top}" top)
        file(REAL_PATH "${PROJECT_SOURCE_DIR}" source)
    endif()
    if(top AND top STREQUAL source)
        glidora_git(commit_time log -1 --format=%ct)
        glidora_git(ref rev-parse --symbolic-full-name HEAD)
        glidora_git(head_files rev-parse --git-path HEAD --git-path packed-refs
                    --git-path "${ref}")
        string(REPLACE "\n" ";" head_files "${head_files}")
        foreach(file IN LISTS head_files)
            file(REAL_PATH "${file}" file BASE_DIRECTORY ${PROJECT_SOURCE_DIR})
            if(NOT IS_DIRECTORY "${file}" AND EXISTS "${file}")
                set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
            endif()
        endforeach()
    endif()
endif()

if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(GLIDORA_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
elseif(commit_time)
    set(GLIDORA_SOURCE_DATE_EPOCH "${commit_time}")
else()
    message(STATUS "No commit time and no SOURCE_DATE_EPOCH: glidora.exe stays undated")
endif()
if(NOT GLIDORA_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH '${GLIDORA_SOURCE_DATE_EPOCH}' is no time in seconds "
                        "since 1970")
endif()
