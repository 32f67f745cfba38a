#!/bin/sh
# Makes the Debian package from the build, lists and checks its contents, unpacks it into a
# throw-away root with dpkg-deb -x and runs the unpacked mirelo-batch on one picture.
# Exit 77 (skipped) when dpkg-deb is missing.
#   package_test.sh CPACK BUILD_DIR WITH_GUI(ON|OFF) INSTALL_PREFIX SAMPLE_PICTURE
set -eu
cpack=$1 build=$2 gui=$3 prefix=$4 sample=$5

if ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "dpkg-deb not installed: skipped"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

# Into a folder of its own, so the build's own package (make package) is left alone.
if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack"
fi
deb=$work/out/mirelo_1.10-1_amd64.deb
[ -f "$deb" ] || { ls "$work/out"; fail "no mirelo_1.10-1_amd64.deb"; }

# Control fields; the dependencies come from dpkg-shlibdeps.
dpkg-deb -f "$deb" Package Version Architecture Depends >"$work/fields"
cat "$work/fields"
grep -qx "Package: mirelo" "$work/fields" || fail "package name"
grep -qx "Version: 1.10-1" "$work/fields" || fail "version"
grep -qx "Architecture: amd64" "$work/fields" || fail "architecture"
depends=$(sed -n 's/^Depends: //p' "$work/fields")
needed="libc6 libavformat libjpeg62-turbo libpng16 libtiff libgif libimagequant liblcms2"
[ "$gui" = ON ] && needed="$needed libqt6widgets6 libqt6gui6 libmpv"
for lib in $needed; do
  case "$depends" in *"$lib"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done

# Contents: everything under /usr, nothing of the build (headers, static libraries, tests).
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | sort >"$work/contents"
expected="/usr/bin/mirelo-batch /usr/libexec/mirelo/mirelo-raw-decoder /usr/share/man/man1/mirelo-batch.1.gz
/usr/share/bash-completion/completions/mirelo-batch"
if [ "$gui" = ON ]; then
  expected="$expected /usr/bin/mirelo /usr/share/man/man1/mirelo.1.gz /usr/share/mirelo/help/mr_help.htm
/usr/share/applications/mirelo.desktop /usr/share/metainfo/com.example.Mirelo.metainfo.xml
/usr/share/icons/hicolor/scalable/apps/mirelo.svg"
  for size in 16 22 24 32 48 64 128 256; do
    expected="$expected /usr/share/icons/hicolor/${size}x${size}/apps/mirelo.png"
  done
fi
for path in $expected; do
  grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done
if grep -v -E '^(|/|/usr|/usr/bin(/.*)?|/usr/libexec|/usr/libexec/mirelo(/.*)?|/usr/share(/.*)?)$' "$work/contents"; then
  fail "files outside /usr/bin, /usr/libexec/mirelo and /usr/share"
fi
if grep -e '/usr/local' -e '\.a$' -e '\.h$' -e '_test' -e '_repro' "$work/contents"; then
  fail "build files in the package"
fi

# The unpacked programs run from the throw-away root.
root=$work/root
dpkg-deb -x "$deb" "$root"
version=$("$root/usr/bin/mirelo-batch" --version)
[ "$version" = "mirelo-batch 1.10" ] || fail "--version said: $version"
file "$root/usr/bin/mirelo-batch" 2>/dev/null | grep -q "not stripped" && fail "mirelo-batch is not stripped"

mkdir -p "$work/in"
cp "$sample" "$work/in/picture.jpg"
out=$("$root/usr/bin/mirelo-batch" --config "$work/config" --quiet --set FileName/Mode=2 --size 64x48 \
  "$work/in/picture.jpg") || fail "the one-file batch failed"
[ "$out" = "$work/in/picture_thum.jpg" ] || fail "the batch wrote: $out"
magic=$(od -An -tx1 -N3 "$out" | tr -d ' ')
[ "$magic" = ffd8ff ] || fail "the thumbnail is not a JPEG file ($magic)"
# A camera RAW file goes through the packaged decoder program, found beside the programs.
cp "$(dirname "$sample")/meadow.dng" "$work/in/camera.dng"
if command -v strace >/dev/null 2>&1; then trace="strace -f -qq -e trace=execve -o $work/trace"; else trace=; fi
out=$($trace "$root/usr/bin/mirelo-batch" --config "$work/config" --quiet --set FileName/Mode=2 --size 64x48 \
  "$work/in/camera.dng") || fail "the camera RAW batch failed"
[ "$out" = "$work/in/camera_thum.jpg" ] || fail "the batch wrote: $out"
if [ -n "$trace" ]; then
  grep -q "execve(\"$root/usr/bin/../libexec/mirelo/mirelo-raw-decoder\"\|execve(\"$root/usr/libexec/mirelo/mirelo-raw-decoder\"" "$work/trace" ||
    fail "the packaged RAW decoder was not used: $(grep execve "$work/trace")"
fi

if [ "$gui" = ON ]; then
  if ldd "$root/usr/bin/mirelo" | grep "not found"; then fail "mirelo needs a library the system lacks"; fi
  # --version needs no display.
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/mirelo" --version) || fail "mirelo --version failed"
  [ "$version" = "mirelo 1.10" ] || fail "mirelo --version said: $version"
  # The help is looked for in the data folder of the prefix the build was made for (a Qt text:
  # UTF-16 in the program).
  if [ "$prefix" = /usr ] && command -v strings >/dev/null 2>&1; then
    strings -el "$root/usr/bin/mirelo" | grep -qx /usr/share/mirelo ||
      fail "mirelo does not look for its help in /usr/share/mirelo/help"
  fi
fi
# "Open With" as a file manager does it, through GLib's desktop-entry code: the unpacked entry is
# offered for every still and video type, and launching it with files hands those files, absolute
# and one per argument, to mirelo (a stand-in here, as this check has no display; that
# `mirelo FILE...` puts them in the list is tested with the window).
if [ "$gui" = ON ] && command -v gio >/dev/null 2>&1 && command -v update-desktop-database >/dev/null 2>&1; then
  apps=$root/usr/share/applications
  update-desktop-database "$apps"
  mkdir -p "$work/stand-in" "$work/open/a b"
  cat >"$work/stand-in/mirelo" <<'STANDIN'
#!/bin/sh
printf '%s\n' "$@" >"$MIRELO_OPENED"
STANDIN
  chmod +x "$work/stand-in/mirelo"
  cp "$sample" "$work/open/one.jpg"
  cp "$sample" "$work/open/a b/two three.jpg"
  export XDG_DATA_DIRS="$root/usr/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" XDG_DATA_HOME="$work/data"
  # GLib hides an entry whose TryExec program is not on the PATH, as after a real install it is.
  export PATH="$root/usr/bin:$PATH"
  for type in $(sed -n 's/^MimeType=//p' "$apps/mirelo.desktop" | tr ';' ' '); do
    gio mime "$type" | grep -q '^[[:space:]]*mirelo\.desktop$' || fail "Open With does not offer mirelo for $type"
  done
  (cd "$work/open" && PATH="$work/stand-in:$PATH" MIRELO_OPENED="$work/opened" \
    gio launch "$apps/mirelo.desktop" one.jpg "a b/two three.jpg") || fail "gio launch"
  for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$work/opened" ] && break; sleep 0.2; done
  printf '%s\n' "$work/open/one.jpg" "$work/open/a b/two three.jpg" >"$work/expected-opened"
  cmp -s "$work/opened" "$work/expected-opened" || { cat "$work/opened"; fail "Open With passed other arguments"; }
  echo "Open With: offered for every type, the files reach mirelo"
fi
if command -v man >/dev/null 2>&1; then
  MANWIDTH=80 man -l "$root/usr/share/man/man1/mirelo-batch.1.gz" 2>/dev/null | grep -q -- "--dry-run" ||
    fail "the man page does not render"
fi
echo "package: $(wc -l <"$work/contents") paths, checks passed"
