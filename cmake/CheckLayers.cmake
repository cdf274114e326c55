# Refuses an include that points up the layers, and any Qt header other than Qt Core's outside
# ui/ (sources/ may use Qt SQL too, app/ Qt Network and Qt Network Authorization for the OAuth 2.0
# sign-in). Run as: cmake -DSOURCE_DIR=<tree> -DQT_CORE_INCLUDE_DIR=<QtCore headers> -P
# CheckLayers.cmake
#
# The layers from the bottom up; a file may include its own layer's headers and those below.
set(layers engine sources document mail app cli ui)

if(NOT IS_DIRECTORY "${SOURCE_DIR}")
    message(FATAL_ERROR "CheckLayers.cmake needs SOURCE_DIR")
endif()
# Where Qt keeps its headers elsewhere, the bare names are left to the compiler, which finds no
# Gui or Widgets header for the UI-free targets.
set(check_bare_names FALSE)
if(IS_DIRECTORY "${QT_CORE_INCLUDE_DIR}")
    set(check_bare_names TRUE)
endif()

set(problems "")
foreach(layer IN LISTS layers)
    list(FIND layers ${layer} rank)
    file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
    foreach(file IN LISTS files)
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
        file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" included "${line}")
            if(included MATCHES "^\"([A-Za-z_]+)/")
                list(FIND layers ${CMAKE_MATCH_1} included_rank)
                if(included_rank GREATER rank)
                    string(APPEND problems "  ${name}: ${line} (${CMAKE_MATCH_1}/ is above ${layer}/)\n")
                endif()
            endif()
            if(NOT layer STREQUAL "ui")
                if(included MATCHES "^\"ui_")
                    string(APPEND problems "  ${name}: ${line} (a Designer form belongs in ui/)\n")
                elseif(included MATCHES "^<(Qt[A-Za-z]*)/")
                    # CMake evaluates parentheses before the match: the module is tested apart.
                    set(module "${CMAKE_MATCH_1}")
                    if(NOT module STREQUAL "QtCore"
                            AND NOT (layer STREQUAL "sources" AND module STREQUAL "QtSql")
                            AND NOT (layer STREQUAL "app" AND module MATCHES "^QtNetwork(Auth)?$"))
                        string(APPEND problems "  ${name}: ${line} (only ui/ uses ${module})\n")
                    endif()
                elseif(check_bare_names AND included MATCHES "^<(Q[A-Za-z0-9]+)>")
                    # ${} is expanded before the match is made: test the name in an if of its own.
                    set(sql_header FALSE)
                    if(layer STREQUAL "sources" AND EXISTS "${QT_SQL_INCLUDE_DIR}/${CMAKE_MATCH_1}")
                        set(sql_header TRUE)
                    endif()
                    if(layer STREQUAL "app" AND EXISTS "${QT_NETWORK_INCLUDE_DIR}/${CMAKE_MATCH_1}")
                        set(sql_header TRUE)
                    endif()
                    if(layer STREQUAL "app" AND QT_NETWORKAUTH_INCLUDE_DIR
                            AND EXISTS "${QT_NETWORKAUTH_INCLUDE_DIR}/${CMAKE_MATCH_1}")
                        set(sql_header TRUE)
                    endif()
                    if(NOT sql_header AND NOT EXISTS "${QT_CORE_INCLUDE_DIR}/${CMAKE_MATCH_1}")
                        string(APPEND problems "  ${name}: ${line} (not Qt Core: only ui/ uses it)\n")
                    endif()
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

if(problems)
    message(FATAL_ERROR "Includes that break the layers (${layers}, bottom up):\n${problems}")
endif()
