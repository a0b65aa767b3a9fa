# -Wall -Wextra -Werror on every toolchain, for every C and C++ target of the project.
# The generator expression keeps them away from windres, which compiles the .rc file in the same
# directory scope and rejects compiler warning options.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-Wall> $<$<COMPILE_LANGUAGE:C,CXX>:-Wextra>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-Werror>)
