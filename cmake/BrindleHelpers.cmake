# Small helpers so that a subsystem folder only has to hold its files:
# sources, tests, benchmarks and fuzz targets are picked up by folder.

# brindle_add_test_dir(<name> <dir> [LIBS ...])
# One GoogleTest executable per test folder; every *.cpp in it is a part.
function(brindle_add_test_dir name dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${dir} ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE BRINDLE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             BRINDLE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# brindle_fuzz_link(<target> <fuzz name>)
# Links what a fuzz target needs besides Brindle; the name's prefix says
# which part of the tree it exercises.
function(brindle_fuzz_link target name)
  target_link_libraries(${target} PRIVATE Brindle)
  if(name MATCHES "^feed_" AND TARGET ZPH)
    target_link_libraries(${target} PRIVATE ZPH)
  endif()
  # The page drawing's display-free classes, compiled in (fuzz builds have
  # no client).
  if(name MATCHES "^pages_" AND TARGET ZPH)
    set(pages ${PROJECT_SOURCE_DIR}/client/pages)
    target_sources(${target} PRIVATE ${pages}/RowCells.cpp ${pages}/RowLayout.cpp ${pages}/CenterColor.cpp
                                     ${pages}/DisplayState.cpp ${pages}/ColorScheme.cpp ${pages}/PageFormat.cpp
                                     ${pages}/WindowPlacement.cpp)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/client)
    target_link_libraries(${target} PRIVATE ZPH)
  endif()
  # The stored forms of the client's lists and reports, compiled in.
  if(name MATCHES "^lists_" AND TARGET ZPH)
    set(lists ${PROJECT_SOURCE_DIR}/client/lists)
    target_sources(${target} PRIVATE ${lists}/StoredLists.cpp ${lists}/UserLists.cpp ${lists}/ListEditors.cpp
                                     ${lists}/VolumeReport.cpp ${PROJECT_SOURCE_DIR}/client/pages/CenterColor.cpp)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/client)
    target_link_libraries(${target} PRIVATE ZPH)
  endif()
  # MAVO's modem dialer (replies and phone numbers), compiled in.
  if(name MATCHES "^modem_replies")
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/client/modem/ModemDial.cpp)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/client)
  endif()
  # Order entry's display-free classes, compiled in likewise.
  if(name MATCHES "^orders_" AND TARGET ZPH)
    set(orders ${PROJECT_SOURCE_DIR}/client/orders)
    target_sources(${target} PRIVATE ${orders}/OrderNumber.cpp ${orders}/OrderIncrement.cpp ${orders}/OrderTicket.cpp
                                     ${orders}/OrderMessages.cpp ${orders}/TradeButtons.cpp ${orders}/TradeWindowText.cpp
                                     ${PROJECT_SOURCE_DIR}/client/pages/CenterColor.cpp
                                     ${PROJECT_SOURCE_DIR}/client/pages/DisplayState.cpp)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/client)
    target_link_libraries(${target} PRIVATE ZPH)
  endif()
  # A folder that owns a target's code names its libraries in the global
  # property BRINDLE_FUZZ_LINK_<name> (feed/server does for zphd_*).
  get_property(extra GLOBAL PROPERTY BRINDLE_FUZZ_LINK_${name})
  if(extra)
    target_link_libraries(${target} PRIVATE ${extra})
  endif()
endfunction()

# brindle_install_program(<target> SUMMARY <one line> [ENV VAR=VALUE ...])
# Installs a program and a manual page made from its --help text at build
# time (section 1). ENV is set while --help runs (MAVO needs a display
# platform even to print its usage).
function(brindle_install_program target)
  cmake_parse_arguments(ARG "" "SUMMARY" "ENV" ${ARGN})
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(BRINDLE_FUZZ)
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E env ${ARG_ENV}
            ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DNAME=${target} "-DSUMMARY=${ARG_SUMMARY}"
            -DVERSION=${PROJECT_VERSION} -DOUTPUT=${page} -P ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
    COMMENT "Manual page of ${target}" VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
