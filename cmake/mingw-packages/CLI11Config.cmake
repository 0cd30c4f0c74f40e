# CLI11 is header-only: the cross build uses the build machine's copy (package libcli11-dev), through a
# directory that holds nothing but those headers, so that no other header of the build machine is seen.
if(NOT TARGET CLI11::CLI11)
    set(corvane_cli11_include ${CMAKE_BINARY_DIR}/mingw-packages/include)
    file(MAKE_DIRECTORY ${corvane_cli11_include})
    if(NOT EXISTS ${corvane_cli11_include}/CLI)
        file(CREATE_LINK /usr/include/CLI ${corvane_cli11_include}/CLI SYMBOLIC)
    endif()
    add_library(CLI11::CLI11 INTERFACE IMPORTED)
    set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${corvane_cli11_include})
endif()
set(CLI11_FOUND TRUE)
