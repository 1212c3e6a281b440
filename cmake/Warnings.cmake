# Warnings on for every target of the project; the build keeps them at zero.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
                    -Wcast-align -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
option(DOVENMARK_WERROR "Treat warnings as errors" ON)
if(DOVENMARK_WERROR)
    add_compile_options(-Werror)
endif()
# GCC 12 at -O3 (the Release build of tools/bench) takes "text" + std::string
# for an overlapping copy (its bug 105329); the warning says nothing there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options(-Wno-restrict)
endif()
