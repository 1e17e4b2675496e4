#!/bin/sh
# Regenerates the encoded XML fixtures with iconv. Each holds the same skin:
# an attribute and a text in Korean; "똠" lies outside EUC-KR, in CP949 only.
set -eu
cd "$(dirname "$0")"
body='<skin name="한글 스킨">
  <title>가나 다 똠</title>
</skin>'
printf '\377\376' > utf16le.xml
printf '%s' "$body" | iconv -f UTF-8 -t UTF-16LE >> utf16le.xml
printf 'x' >> utf16le.xml   # an odd trailing byte is dropped
{ printf '\357\273\277'; printf '%s' "$body"; } > utf8bom.xml
{ printf '<?xml version="1.0" encoding="UTF-8"?>\n'; printf '%s' "$body"; } > utf8decl.xml
{ printf '<?xml version="1.0" encoding="euc-kr"?>\n'; printf '%s' "$body"; } | iconv -f UTF-8 -t CP949 > cp949.xml
