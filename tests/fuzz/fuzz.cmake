# libFuzzer targets, built only with VELLORA_FUZZ=ON (clang; every object carries
# AddressSanitizer, UndefinedBehaviorSanitizer and coverage instrumentation).
foreach(target settings image_list picture_header decode exif pid_file)
    add_executable(fuzz_${target} tests/fuzz/fuzz_${target}.cpp)
    if(target STREQUAL pid_file)
        target_sources(fuzz_${target} PRIVATE platform/linux/show_pid_file.cpp)
    endif()
    target_link_libraries(fuzz_${target} PRIVATE vellora_testplatform vellora_decode)
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
endforeach()
