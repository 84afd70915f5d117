#!/usr/bin/env bash
# Checks that the files in the tree keep the house style, and names those that do not:
#   tools/check-style.sh format   clang-format (.clang-format) over every C++ file (*.cpp, *.h)
#   tools/check-style.sh shell    shellcheck over every shell script (*.sh, or a sh/bash shebang)
# The files are those git tracks and the new ones it does not ignore. CLANG_FORMAT and SHELLCHECK
# override the programs; the default clang-format is Debian 12's, whose output the tree follows.
set -euo pipefail
cd "$(dirname "$0")/.."

files() {
  local file
  while IFS= read -r -d '' file; do
    [ -f "$file" ] && printf '%s\0' "$file"
  done < <(git ls-files -z --cached --others --exclude-standard)
}

is_shell_script() {
  local first=""
  case "$1" in *.sh) return 0 ;; esac
  IFS= read -r first <"$1" 2>/dev/null || true
  [[ "$first" =~ ^#!.*[/\ ](ba)?sh([[:space:]]|$) ]]
}

selected=()
case "${1:-}" in
  format)
    while IFS= read -r -d '' file; do
      case "$file" in *.cpp | *.h) selected+=("$file") ;; esac
    done < <(files)
    [ ${#selected[@]} -gt 0 ] || { echo "check-style.sh: no C++ files found" >&2; exit 1; }
    echo "clang-format: ${#selected[@]} files"
    "${CLANG_FORMAT:-clang-format-14}" --dry-run --Werror "${selected[@]}"
    ;;
  shell)
    while IFS= read -r -d '' file; do
      if is_shell_script "$file"; then selected+=("$file"); fi
    done < <(files)
    [ ${#selected[@]} -gt 0 ] || { echo "check-style.sh: no shell scripts found" >&2; exit 1; }
    echo "shellcheck: ${selected[*]}"
    # -x follows the files the scripts source.
    "${SHELLCHECK:-shellcheck}" -x "${selected[@]}"
    ;;
  *)
    echo "usage: tools/check-style.sh format|shell" >&2
    exit 2
    ;;
esac
