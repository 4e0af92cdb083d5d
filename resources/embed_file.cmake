# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -DHEADER=<include> -P embed_file.cmake
# Writes a C++ source that holds the input's bytes as the array SYMBOL and its
# size as SYMBOL_size.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes to a line keeps the generated file readable.
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated at build time from ${INPUT}; do not edit.
#include \"${HEADER}\"

const unsigned char ${SYMBOL}[] = {
    ${bytes}
};
const unsigned int ${SYMBOL}_size = ${size};
")
