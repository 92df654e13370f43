# Writes the bytes of IN as a C++ array NAME (and NAME##Size) into OUT: compiled-in data without
# Qt's resource compiler, which the Windows cross build would have to find as a host tool.
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUT}.tmp" "extern const unsigned char ${NAME}[];\nextern const int ${NAME}Size;\nconst unsigned char ${NAME}[] = {\n${bytes}0};\nconst int ${NAME}Size = ${size};\n")
file(RENAME "${OUT}.tmp" "${OUT}")
