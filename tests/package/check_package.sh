#!/usr/bin/env bash
# Checks a built Debian package the way a user meets it: its file list and
# permissions, its control fields and derived dependencies, lintian, the
# AppStream metadata, the manual pages, and both programs started from the
# package's files (extracted into an empty folder) with nothing from the
# build tree.
# usage: check_package.sh PACKAGE.deb [--install]
#   --install  also installs it with apt, runs /usr/bin/plimsy_sensors and
#              removes it again (needs root; changes the machine)
set -euo pipefail
deb=$(realpath "$1")
install=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
qt_qml_dir=$(qtpaths6 --query QT_INSTALL_QML 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/qml)

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== contents"
dpkg-deb -c "$deb" >"$work/listing"
# "mode owner size date time path" → "mode owner path" for files and links
awk '{ print $1, $2, $6 }' "$work/listing" | sed 's| \./| /|; s|/$||' >"$work/entries"
expected_files=(
  /usr/bin/plimsy_sensors
  /usr/bin/plimsy-cli
  /usr/share/applications/plimsy_sensors.desktop
  /usr/share/icons/hicolor/scalable/apps/plimsy_sensors.svg
  /usr/share/man/man1/plimsy_sensors.1.gz
  /usr/share/man/man1/plimsy-cli.1.gz
  /usr/share/doc/plimsy-sensors/copyright
  /usr/share/doc/plimsy-sensors/changelog.gz
)
metainfo=$(awk '$3 ~ "^/usr/share/metainfo/[^/]+\\.metainfo\\.xml$" { print $3 }' "$work/entries")
[ "$(wc -w <<<"$metainfo")" -eq 1 ] || fail "expected one AppStream file in /usr/share/metainfo, found: ${metainfo:-none}"
expected_files+=($metainfo)
if [ -f "$source_dir/packaging/mime/plimsy-sensors.xml" ]; then
  expected_files+=(/usr/share/mime/packages/plimsy-sensors.xml)
fi
for f in "${expected_files[@]}"; do
  grep -q " $f\$" "$work/entries" || fail "the package lacks $f"
done
# Nothing else: no static libraries, headers, tests or build leftovers.
while read -r mode owner path; do
  [ "$owner" = root/root ] || fail "$path belongs to $owner, not root/root"
  case $mode in
    d*) [ "$mode" = drwxr-xr-x ] || fail "directory $path has mode $mode" ; continue ;;
  esac
  printf '%s\n' "${expected_files[@]}" | grep -qx -- "$path" || fail "unexpected file in the package: $path"
  case $path in
    /usr/bin/*) want=-rwxr-xr-x ;;
    *) want=-rw-r--r-- ;;
  esac
  [ "$mode" = "$want" ] || fail "$path has mode $mode, expected $want"
done <"$work/entries"
echo "$(grep -vc '^d' "$work/entries") files, $(grep -c '^d' "$work/entries") directories"

echo "== control fields"
field() { dpkg-deb -f "$deb" "$1"; }
for f in Package Version Architecture Maintainer Section Priority Description Depends Homepage; do
  [ -n "$(field "$f")" ] || fail "control field $f is empty"
done
depends=$(field Depends)
echo "Depends: $depends"
# Listed names of the Depends field, alternatives included.
depends_names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/:.*//; s/ //g' | sed '/^$/d' | sort -u)
in_depends() { grep -qx -- "$1" <<<"$depends_names"; }
# dpkg-shlibdeps ran: the libraries the programs link are there.
for lib in libc6 libstdc++6 libqt6core6 libqt6quick6 libqt6bluetooth6 libmosquitto1; do
  in_depends "$lib" || fail "Depends lacks $lib: were the shared-library dependencies derived?"
done

echo "== QML imports"
# Every module the QML files import must come from a package in Depends,
# unless it is one of the program's own modules (linked in).
own_modules=$(grep -h -oE 'URI +[A-Za-z0-9_.]+' "$source_dir"/src/CMakeLists.txt "$source_dir"/src/*/CMakeLists.txt 2>/dev/null \
  | awk '{ print $2 }' | sort -u)
imports=$(find "$source_dir/src/ui/qml" -name '*.qml' -exec grep -hoE '^[[:space:]]*import[[:space:]]+[A-Za-z][A-Za-z0-9_.]*' {} + \
  | awk '{ print $2 }' | sort -u)
[ -n "$imports" ] || fail "found no imports in src/ui/qml"
for module in $imports; do
  if grep -qx -- "$module" <<<"$own_modules"; then
    echo "$module: linked into the program"
    continue
  fi
  qmldir="$qt_qml_dir/${module//.//}/qmldir"
  if [ ! -f "$qmldir" ]; then
    # Modules such as QtQml live inside a Qt library, not a qmldir.
    [ -d "$qt_qml_dir/${module//.//}" ] || fail "import $module: no such module in $qt_qml_dir"
    continue
  fi
  owner=$(dpkg-query -S "$qmldir" 2>/dev/null | cut -d: -f1) || true
  if [ -z "$owner" ]; then
    fail "import $module: no Debian package owns $qmldir"
  elif in_depends "$owner"; then
    echo "$module: $owner"
  else
    fail "import $module comes from $owner, which is not in Depends"
  fi
done

echo "== lintian"
# Errors fail the check; warnings are printed for whoever reads the log.
lintian_rc=0
lintian --fail-on error --display-info "$deb" >"$work/lintian" 2>&1 || lintian_rc=$?
cat "$work/lintian"
[ "$lintian_rc" -eq 0 ] || fail "lintian reports errors (exit $lintian_rc)"
echo "lintian: $(grep -c '^E:' "$work/lintian" || true) errors, $(grep -c '^W:' "$work/lintian" || true) warnings"

echo "== extracted into an empty folder"
root="$work/root"
dpkg-deb -x "$deb" "$root"
if appstreamcli validate --no-net "$root$metainfo" >"$work/appstream" 2>&1; then
  echo "appstreamcli validate: $(tail -1 "$work/appstream")"
else
  cat "$work/appstream"
  fail "appstreamcli validate --no-net fails on $metainfo"
fi
# The metainfo's launchable and icon are the package's own files.
desktop_id=$(grep -oP '<launchable type="desktop-id">\K[^<]+' "$root$metainfo" || true)
[ -f "$root/usr/share/applications/$desktop_id" ] || fail "metainfo launches $desktop_id, which the package lacks"
icon=$(grep -oP '^Icon=\K.*' "$root/usr/share/applications/plimsy_sensors.desktop" || true)
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "desktop entry's icon $icon is not in the package"
for program in plimsy_sensors plimsy-cli; do
  if readelf -d "$root/usr/bin/$program" | grep -qE 'RPATH|RUNPATH'; then
    fail "$program keeps a run path into the build tree"
  fi
done
bash "$here/check_man_pages.sh" "$root/usr/share/man/man1" "$root/usr/bin/plimsy_sensors" "$root/usr/bin/plimsy-cli" || fail "manual pages"

# Run from a folder of its own with a private home, so nothing of the build
# tree or the user's settings is in reach.
mkdir -p "$work/run" "$work/home"
cd "$work/run"
run_env=(env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
         XDG_RUNTIME_DIR="$work/home" QT_QPA_PLATFORM=offscreen QML_IMPORT_TRACE=1)
decoded=$(printf 'gravity={"x":0.12,"y":-0.05,"z":9.79}\n' | "$root/usr/bin/plimsy-cli" decode 2>/dev/null)
grep -q '"result":"ok"' <<<"$decoded" || fail "plimsy-cli decode from the package: $decoded"
status=0
"${run_env[@]}" "$root/usr/bin/plimsy_sensors" --simulate --screenshot shot.png --seconds 3 \
  >"$work/app.out" 2>"$work/app.err" || status=$?
if [ "$status" -ne 0 ]; then
  tail -20 "$work/app.err" >&2
  fail "plimsy_sensors --simulate from the package exited with $status"
fi
if grep -E 'QQmlApplicationEngine failed|is not installed|module .* not found' "$work/app.err"; then
  fail "plimsy_sensors from the package could not load its QML"
fi
python3 "$here/png_summary.py" shot.png 1024 800 || fail "the screenshot of the packaged program is not a drawn window"

# The QML engine's trace names the qmldir of every module it loaded, the
# modules' own imports included: each must come from a package in Depends.
qmldirs=$(grep -oE '(loaded|found at) "/[^"]+/qmldir"' "$work/app.err" | grep -oE '/[^"]+' | sort -u || true)
[ -n "$qmldirs" ] || fail "the QML import trace names no qmldir; did QML_IMPORT_TRACE output change?"
for qmldir in $qmldirs; do
  owner=$(dpkg-query -S "$(realpath "$qmldir")" 2>/dev/null | cut -d: -f1) || true
  if [ -z "$owner" ]; then
    fail "the program loaded $qmldir, which belongs to no Debian package"
  elif ! in_depends "$owner"; then
    fail "the program loaded $qmldir from $owner, which is not in Depends"
  fi
done
echo "QML modules loaded at run time: $(wc -w <<<"$qmldirs"), all from packages in Depends"
cd "$source_dir"

if [ "$install" = --install ]; then
  echo "== apt install"
  apt-get install -y -q --no-install-recommends "$deb"
  mkdir -p "$work/installed"
  status=0
  (cd "$work/installed" && "${run_env[@]}" /usr/bin/plimsy_sensors --simulate --screenshot shot.png --seconds 3 \
     >/dev/null 2>"$work/installed.err") || status=$?
  [ "$status" -eq 0 ] || fail "/usr/bin/plimsy_sensors exited with $status"
  python3 "$here/png_summary.py" "$work/installed/shot.png" 1024 800 || fail "installed program's screenshot"
  man -w plimsy_sensors >/dev/null && man -w plimsy-cli >/dev/null || fail "man does not find the installed pages"
  cp "$work/installed/shot.png" "${PLIMSY_INSTALLED_SHOT:-/tmp/plimsy_installed_shot.png}"
  apt-get remove -y -q "$(dpkg-deb -f "$deb" Package)"
fi

if [ "$failures" -gt 0 ]; then
  echo "package check: $failures problem(s) in $deb" >&2
  exit 1
fi
echo "package check: $deb is complete and runs"
