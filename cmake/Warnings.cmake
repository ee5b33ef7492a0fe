# Applied to every target of the project through palaverly_warnings.
add_library(palaverly_warnings INTERFACE)
target_compile_options(palaverly_warnings INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
if(PALAVERLY_WERROR)
  target_compile_options(palaverly_warnings INTERFACE -Werror)
endif()
