# libFuzzer targets, built only with VELLORA_FUZZ=ON (clang; every object carries
# AddressSanitizer, UndefinedBehaviorSanitizer and coverage instrumentation).
foreach(target settings image_list picture_header decode exif pid_file folder_cache shuffle_state picture_settings)
    add_executable(fuzz_${target} tests/fuzz/fuzz_${target}.cpp)
    if(target STREQUAL pid_file)
        target_sources(fuzz_${target} PRIVATE platform/linux/show_pid_file.cpp)
    endif()
    target_link_libraries(fuzz_${target} PRIVATE vellora_testplatform vellora_decode vellora_folders vellora_dates)
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
endforeach()

# The user's ~/.xscreensaver as --install-xscreensaver edits it.
add_executable(fuzz_xscreensaver tests/fuzz/fuzz_xscreensaver.cpp platform/linux/xscreensaver_setup.cpp)
target_link_libraries(fuzz_xscreensaver PRIVATE vellora_testplatform vellora_folders)
target_link_options(fuzz_xscreensaver PRIVATE -fsanitize=fuzzer)
