# libFuzzer targets, built only with VELLORA_FUZZ=ON (clang; every object carries
# AddressSanitizer, UndefinedBehaviorSanitizer and coverage instrumentation).
foreach(target settings image_list picture_header decode exif folder_cache shuffle_state picture_settings)
    add_executable(fuzz_${target} tests/fuzz/fuzz_${target}.cpp)
    target_link_libraries(fuzz_${target} PRIVATE vellora_testplatform vellora_decode vellora_folders)
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
endforeach()
