# CLI11 (argument parsing) and nlohmann-json (the --json lines and the
# publish journal) are header-only. A native build finds them as packages. A
# cross build (MinGW) names the folders that hold CLI/ and nlohmann/
# instead, since it does not search the host's packages; only those two
# folders are copied into the build tree, so the host's other headers never
# shadow the target's.
set(PARONE_CLI11_INCLUDE_DIR "" CACHE PATH
  "Folder that holds CLI/CLI.hpp (empty: find the CLI11 package)")
set(PARONE_JSON_INCLUDE_DIR "" CACHE PATH
  "Folder that holds nlohmann/json.hpp (empty: find the nlohmann_json package)")

function(parone_header_only_dir target dir subfolder)
  set(copy ${CMAKE_BINARY_DIR}/header_only/${subfolder})
  file(COPY ${dir}/${subfolder} DESTINATION ${copy})
  target_include_directories(${target} SYSTEM PRIVATE ${copy})
endfunction()

function(parone_use_cli11 target)
  if(PARONE_CLI11_INCLUDE_DIR)
    parone_header_only_dir(${target} ${PARONE_CLI11_INCLUDE_DIR} CLI)
  else()
    find_package(CLI11 2.1 CONFIG REQUIRED)
    target_link_libraries(${target} PRIVATE CLI11::CLI11)
  endif()
endfunction()

function(parone_use_json target)
  if(PARONE_JSON_INCLUDE_DIR)
    parone_header_only_dir(${target} ${PARONE_JSON_INCLUDE_DIR} nlohmann)
  else()
    find_package(nlohmann_json 3.10 CONFIG REQUIRED)
    target_link_libraries(${target} PRIVATE nlohmann_json::nlohmann_json)
  endif()
endfunction()
