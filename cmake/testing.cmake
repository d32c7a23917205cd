# GoogleTest from the machine's sources, built with whichever compiler this
# tree uses, and the helpers that register tests for both builds.
enable_testing()

set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

if(WIN32)
  # Every Windows test runs under Wine in a 64-bit prefix of this build, so a
  # 32-bit program really runs under WOW64 and nothing depends on ~/.wine.
  set(KORVELO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(KORVELO_WINE_RUN ${PROJECT_SOURCE_DIR}/scripts/wine-run ${KORVELO_WINEPREFIX})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVELO_WINE_RUN})
endif()

# korvelo_add_gtest(NAME SOURCES... LIBS...): a GoogleTest program run as one
# test; on Windows it runs under Wine through the emulator above.
function(korvelo_add_gtest name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(arg_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${arg_ENV}")
  endif()
endfunction()

# korvelo_copy_beside(PROGRAM FILE...): keeps copies of FILE... (the DLLs a
# test program loads from its own folder) beside PROGRAM. A copy made when the
# program links would go stale whenever only a DLL changes, so the copy is a
# step of its own that every build runs.
function(korvelo_copy_beside program)
  add_custom_target(${program}_beside ALL
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ARGN} $<TARGET_FILE_DIR:${program}>
    VERBATIM)
  add_dependencies(${program}_beside ${program})
endfunction()
