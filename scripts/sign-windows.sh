#!/usr/bin/env bash
# Signs Windows programs in place with osslsigncode (Authenticode, SHA-256), for
# cmake/WindowsPackage.cmake: the stripped programs at install time, the uninstaller and the
# installer as NSIS writes them.
#
#   scripts/sign-windows.sh <osslsigncode> <PKCS#12 file> <password file or ""> \
#       <time-stamp URL or ""> <file>...
#
# A file is replaced only by its signed copy: a failure leaves it as it was, and fails.
set -euo pipefail
osslsigncode=$1 pkcs12=$2 password_file=$3 timestamp_url=$4
shift 4
options=(-pkcs12 "$pkcs12" -h sha256 -n Quenlor)
if [ -n "$password_file" ]; then options+=(-readpass "$password_file"); fi
if [ -n "$timestamp_url" ]; then options+=(-ts "$timestamp_url"); fi
for file in "$@"; do
    rm -f "$file.signed"
    if ! "$osslsigncode" sign "${options[@]}" -in "$file" -out "$file.signed" >"$file.sign.log" 2>&1; then
        cat "$file.sign.log" >&2
        rm -f "$file.signed" "$file.sign.log"
        echo "sign-windows: could not sign $file" >&2
        exit 1
    fi
    rm -f "$file.sign.log"
    mv "$file.signed" "$file"
done
