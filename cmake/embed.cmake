# Writes a C++ source that holds a file's bytes as a std::string_view:
# cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=kolvane::web_panel::kChartJs -P embed.cmake
# Bytes, not a string literal: ISO C++ bounds a literal's length, and
# -Wpedantic holds us to it.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR bytes "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," hex "${hex}")
string(REGEX MATCH "^(.*)::([^:]*)$" unused "${NAME}")
set(space ${CMAKE_MATCH_1})
set(symbol ${CMAKE_MATCH_2})
file(WRITE ${OUTPUT}.tmp
     "// Generated from ${INPUT} by cmake/embed.cmake.\n#include <string_view>\n\n"
     "namespace ${space} {\n\nnamespace {\nconstexpr char kBytes[] = {\n${hex}};\n}  // namespace\n\n"
     "extern const std::string_view ${symbol};\n"
     "const std::string_view ${symbol}(kBytes, ${bytes});\n\n}  // namespace ${space}\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
