# Every target of ours links veltro_warnings; third-party code is left alone.
add_library(veltro_warnings INTERFACE)
target_compile_options(veltro_warnings INTERFACE -Wall -Wextra -Werror)
