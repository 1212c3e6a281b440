# Warnings on for every target of the project; the build keeps them at zero.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
                    -Wcast-align -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
option(DOVENMARK_WERROR "Treat warnings as errors" ON)
if(DOVENMARK_WERROR)
    add_compile_options(-Werror)
endif()
