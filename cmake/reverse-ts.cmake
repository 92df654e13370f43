# Writes the translation IN (zenda's English texts -> Russian) turned round into OUT, in the
# engine's context: the journal keeps zenda's texts in Russian whoever wrote them, and an
# English run shows them in English as it does the engine's own Russian texts.
file(READ "${IN}" ts)
string(REPLACE ";" "@semicolon@" ts "${ts}")  # not a list's separator while the pairs are a list
string(REGEX MATCHALL "<source>[^<]*</source>[ \t\r\n]*<translation>[^<]+</translation>" pairs "${ts}")
set(out "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" language=\"en\">\n<context>\n    <name>engine</name>\n")
foreach(pair IN LISTS pairs)
  string(REGEX REPLACE "<source>([^<]*)</source>.*" "\\1" source "${pair}")
  string(REGEX REPLACE ".*<translation>([^<]*)</translation>" "\\1" translation "${pair}")
  string(APPEND out "    <message>\n        <source>${translation}</source>\n        <translation>${source}</translation>\n    </message>\n")
endforeach()
string(APPEND out "</context>\n</TS>\n")
string(REPLACE "@semicolon@" ";" out "${out}")
file(WRITE "${OUT}.tmp" "${out}")
file(RENAME "${OUT}.tmp" "${OUT}")
