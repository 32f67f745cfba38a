#!/bin/sh
# Checks of the desktop files and man pages. Exit 77 (skipped) when the checking tool is missing.
#   check_files.sh desktop FILE | appstream FILE | man PAGE... | types DESKTOP METAINFO EXTENSIONS_H
set -eu
kind=$1
shift

need() {
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "$1 not installed: skipped"
    exit 77
  fi
}

case $kind in
  desktop)
    need desktop-file-validate
    # It prints hints and warnings as well as errors; any of them fails the check.
    out=$(desktop-file-validate "$1" 2>&1) || { echo "$out"; exit 1; }
    if [ -n "$out" ]; then echo "$out"; exit 1; fi
    ;;
  appstream)
    need appstreamcli
    appstreamcli validate --no-net "$1"
    ;;
  man)
    need groff
    for page in "$@"; do
      # -ww: every warning; -z: no output. Any warning is a fault of the page.
      warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
      if [ -n "$warnings" ]; then
        echo "$page: $warnings"
        exit 1
      fi
      # The page must have the sections a reader looks for.
      for section in NAME SYNOPSIS DESCRIPTION OPTIONS "SEE ALSO"; do
        grep -q "^\.SH \"*$section\"*\$" "$page" || { echo "$page: no $section section"; exit 1; }
      done
    done
    ;;
  types)
    desktop=$1 metainfo=$2 header=$3
    # The extensions the program accepts, from the lists the code uses: the search text of the
    # original kinds, then today's tables (whole extensions).
    exts=$(sed -n 's/^ *"\(avi [a-z ]*\)";$/\1/p' "$header")
    [ -n "$exts" ] || { echo "no extension list found in $header"; exit 1; }
    modern=$(sed -n '/kModern[A-Za-z]*Extensions\[\] = {/,/};/p' "$header" | grep -o '"[a-z0-9]*"' | tr -d '"')
    [ -n "$modern" ] || { echo "no table of today's extensions found in $header"; exit 1; }
    need_globs=/usr/share/mime/globs2
    mimes=$(sed -n 's/^MimeType=//p' "$desktop")
    status=0
    for ext in $exts $modern; do
      case $ext in
        jpg | jpeg | jpe | jfif) type=image/jpeg ;;
        bmp) type=image/bmp ;;
        gif) type=image/gif ;;
        png) type=image/png ;;
        pct | pict) type=image/x-pict ;;
        tif | tiff) type=image/tiff ;;
        avi) type=video/x-msvideo ;;
        mpeg | mpg) type=video/mpeg ;;
        wmv) type=video/x-ms-wmv ;;
        asf) type=application/vnd.ms-asf ;;
        flv) type=video/x-flv ;;
        ts) type=video/mp2t ;;  # the shared database lists Qt's translation files first
        *)
          # Today's kinds take the type the shared MIME database gives the extension; a camera
          # RAW extension the database does not know has no type to offer.
          [ -r "$need_globs" ] || { echo "$need_globs missing: skipped"; exit 77; }
          type=$(grep -i ":\*\.$ext\$" "$need_globs" | head -n 1 | cut -d: -f2)
          [ -n "$type" ] || continue
          ;;
      esac
      case ";$mimes" in
        *";$type;"*) ;;
        *) echo "$desktop: MimeType lacks $type (.$ext)"; status=1 ;;
      esac
      grep -q "<mediatype>$type</mediatype>" "$metainfo" || { echo "$metainfo: no mediatype $type (.$ext)"; status=1; }
    done
    exit $status
    ;;
  *)
    echo "unknown check $kind"
    exit 2
    ;;
esac
