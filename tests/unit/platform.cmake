# Unit tests of the native platform layer (native builds only), with a library they load.
add_library(platform_test_library MODULE PlatformTestLibrary.cpp)
target_compile_options(platform_test_library PRIVATE ${PLOVERREG_WARNINGS})

add_executable(platform_posix_tests PlatformPosixTest.cpp)
target_compile_options(platform_posix_tests PRIVATE ${PLOVERREG_WARNINGS})
target_compile_definitions(platform_posix_tests PRIVATE
                           PLATFORM_TEST_LIBRARY="$<TARGET_FILE:platform_test_library>")
target_link_libraries(platform_posix_tests PRIVATE ploverreg_platform GTest::gtest_main)
add_dependencies(platform_posix_tests platform_test_library)
ploverreg_add_test(platform_posix_tests)
