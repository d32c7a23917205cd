# libFuzzer targets for the parsers of outside data, built with clang on the host
# under AddressSanitizer and UBSan. With KORVELO_FUZZ the build holds nothing else:
# no GoogleTest, no JNI library, only the fuzz targets and the code they feed.
option(KORVELO_FUZZ "Build only the libFuzzer targets (clang, host)" OFF)
if(NOT KORVELO_FUZZ)
  return()
endif()

if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "KORVELO_FUZZ needs clang on the host (cmake --preset fuzz)")
endif()

# Every finding must stop the run, so nothing recovers. The code under test gets
# the coverage hooks without libFuzzer's main; the targets link libFuzzer itself.
set(KORVELO_FUZZ_SANITIZERS address,undefined)
add_compile_options(-fsanitize=fuzzer-no-link,${KORVELO_FUZZ_SANITIZERS}
                    -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=${KORVELO_FUZZ_SANITIZERS})

add_library(fuzz_launcher_rules STATIC
  ${PROJECT_SOURCE_DIR}/launcher/command_line.cpp
  ${PROJECT_SOURCE_DIR}/launcher/parameters_file.cpp)
target_include_directories(fuzz_launcher_rules PUBLIC ${PROJECT_SOURCE_DIR}/launcher)

add_library(fuzz_bmp_packaging STATIC ${PROJECT_SOURCE_DIR}/scanbridge/jni/bmp_packaging.cpp)
target_include_directories(fuzz_bmp_packaging PUBLIC ${PROJECT_SOURCE_DIR}/scanbridge/jni)

add_library(fuzz_channel_message STATIC ${PROJECT_SOURCE_DIR}/scanbridge/channel/channel_message.cpp)
target_include_directories(fuzz_channel_message PUBLIC ${PROJECT_SOURCE_DIR}/scanbridge/channel)

# korvelo_add_fuzzer(NAME SOURCE LIB): one libFuzzer program; its seed corpus is
# corpus/NAME beside the source, and scripts/fuzz runs it.
function(korvelo_add_fuzzer name source lib)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${lib})
  # fuzz_check.h, the rule checks every target shares.
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

korvelo_add_fuzzer(parameters_file_fuzzer
  ${PROJECT_SOURCE_DIR}/launcher/fuzz/parameters_file_fuzzer.cpp fuzz_launcher_rules)
korvelo_add_fuzzer(command_line_fuzzer
  ${PROJECT_SOURCE_DIR}/launcher/fuzz/command_line_fuzzer.cpp fuzz_launcher_rules)
korvelo_add_fuzzer(bmp_packaging_fuzzer
  ${PROJECT_SOURCE_DIR}/scanbridge/jni/fuzz/bmp_packaging_fuzzer.cpp fuzz_bmp_packaging)
korvelo_add_fuzzer(channel_message_fuzzer
  ${PROJECT_SOURCE_DIR}/scanbridge/channel/fuzz/channel_message_fuzzer.cpp fuzz_channel_message)
