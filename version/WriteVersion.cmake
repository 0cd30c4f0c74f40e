# Writes OUTPUT, the definition of CorvaneVersion(): PROJECT_VERSION, followed by "(DESCRIPTION)" when git can
# describe SOURCE_DIR. The file is left alone when its text would not change, so nothing recompiles needlessly.
set(version "${PROJECT_VERSION}")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --always --dirty
                    OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0 AND NOT described STREQUAL "")
        set(version "${version} (${described})")
    endif()
endif()

set(text "// Written by version/WriteVersion.cmake at build time.\n#include \"version/Version.h\"\n\n")
string(APPEND text "namespace corvane {\n\nconst char* CorvaneVersion() {\n    return \"${version}\";\n}\n\n")
string(APPEND text "} // namespace corvane\n")
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
    if(old STREQUAL text)
        return()
    endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
