# The CTest resource file that hands out this host's cores, one to each test
# that asks for one: the CPUs this process may run on, counted from its
# affinity list (Cpus_allowed_list in /proc/self/status, such as "0-3,8"),
# not nproc, which obeys OMP_NUM_THREADS too. One core where it cannot be read.
#   glidora_write_cores(<file>)     from a CMakeLists.txt
#   cmake -DCORES_FILE=<file> -P cmake/cores.cmake
function(glidora_write_cores file)
    set(count 0)
    if(EXISTS /proc/self/status)
        file(STRINGS /proc/self/status allowed REGEX "^Cpus_allowed_list:")
        string(REGEX REPLACE "^Cpus_allowed_list:[ \t]*" "" allowed "${allowed}")
        string(REPLACE "," ";" ranges "${allowed}")
        foreach(range IN LISTS ranges)
            if(range MATCHES "^([0-9]+)-([0-9]+)$")
                math(EXPR count "${count} + ${CMAKE_MATCH_2} - ${CMAKE_MATCH_1} + 1")
            elseif(range MATCHES "^[0-9]+$")
                math(EXPR count "${count} + 1")
            endif()
        endforeach()
    endif()
    if(count LESS 1)
        set(count 1)
    endif()
    math(EXPR last "${count} - 1")
    set(cores "")
    foreach(core RANGE ${last})
        list(APPEND cores "{\"id\": \"${core}\", \"slots\": 1}")
    endforeach()
    list(JOIN cores ", " cores)
    file(WRITE ${file}
         "{\"version\": {\"major\": 1, \"minor\": 0}, \"local\": [{\"cores\": [${cores}]}]}\n")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND CORES_FILE)
    glidora_write_cores(${CORES_FILE})
endif()
