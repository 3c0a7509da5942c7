# One place for the language level and the warnings every target uses.
add_library(parone_options INTERFACE)
target_compile_features(parone_options INTERFACE cxx_std_20)
target_compile_options(parone_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast)
if(PARONE_WARNINGS_AS_ERRORS)
  target_compile_options(parone_options INTERFACE -Werror)
endif()
target_include_directories(parone_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
