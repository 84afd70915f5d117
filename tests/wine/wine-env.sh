# Sourced by the Wine scripts: where the private prefix and the display record live.
# $1 is the state folder inside the build tree.
state=$(realpath -m "${1:?state folder}")
export WINEPREFIX="$state/prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
