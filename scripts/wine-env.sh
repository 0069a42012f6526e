# Sourced by the scripts that run Windows programs under Wine: the environment every Wine
# process of the tests and the demo gets, and the functions that make and copy prefixes.
#
#   WINE_WORK   folder for the generated locale and the prefix template (default build/wine)

_wine_env_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINE_WORK=${WINE_WORK:-$_wine_env_root/build/wine}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml,winemenubuilder.exe="}
# Japanese ANSI code page (932): Wine takes it from the Linux locale, generated into the work
# folder so that no system-wide change is needed.
wine_locale() {
  local dir=$WINE_WORK/locale
  [ -d "$dir/ja_JP.UTF-8" ] && return 0
  mkdir -p "$dir"
  localedef -i ja_JP -f UTF-8 "$dir/ja_JP.UTF-8" 2>/dev/null || [ -d "$dir/ja_JP.UTF-8" ]
}
wine_locale || echo "cannot generate the ja_JP.UTF-8 locale (package locales)" >&2
export LOCPATH=$WINE_WORK/locale
export LANG=ja_JP.UTF-8

# Makes the prefix template once: a fresh 32-bit prefix, no window manager decorations (without a
# window manager every hide would stall), no Z: drive mapping the host's whole file system, and
# Wine's Marlett font in the prefix's own Fonts folder. Wine draws the caption buttons as Marlett
# glyphs, and where it does not load its installed fonts folder (seen under qemu) a request for
# Marlett gets another font and the close button reads "r"; the prefix's Fonts folder is always
# searched. A template made before the font was copied gets it on its next use.
wine_template() {
  local template=$WINE_WORK/template
  local marlett=/usr/share/wine/fonts/marlett.ttf
  local fonts=$template/drive_c/windows/Fonts
  if [ ! -f "$template/.ready" ]; then
    rm -rf "$template"
    mkdir -p "$WINE_WORK"
    WINEPREFIX=$template wine wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX=$template wineserver -w
    [ -d "$template/drive_c/windows/system32" ] || { echo "wineboot did not create a prefix" >&2; return 1; }
    WINEPREFIX=$template wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    WINEPREFIX=$template wineserver -w
    rm -f "$template/dosdevices/z:"
    touch "$template/.ready"
  fi
  [ ! -f "$fonts/marlett.ttf" ] || return 0
  if [ -f "$marlett" ]; then
    mkdir -p "$fonts" && cp "$marlett" "$fonts/"
  else
    echo "no $marlett (package fonts-wine): the caption buttons show letters" >&2
  fi
}

# Copies the template into a new prefix folder and prints its path.
wine_new_prefix() {
  wine_template || return 1
  local prefix
  prefix=$(mktemp -d "$WINE_WORK/prefix.XXXXXX")
  cp -a "$WINE_WORK/template/." "$prefix/"
  rm -f "$prefix/.ready"
  printf '%s\n' "$prefix"
}

# Ends every Wine process of one prefix.
wine_end() { WINEPREFIX=$1 wineserver -k 2>/dev/null || true; }
