# Shared by the run and test commands: install what is missing, then build.
set -euo pipefail

TXL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TXL_PACKAGES=(build-essential cmake pkg-config qt6-base-dev libsqlcipher-dev libssl-dev sqlcipher
  libjpeg62-turbo-dev fonts-wqy-microhei fonts-liberation2
  qt6-translations-l10n qt6-l10n-tools qt6-tools-dev dpkg-dev desktop-file-utils appstream qtkeychain-qt6-dev)
# Only the tests need these: they check the pinyin table against its
# dictionary and the formatting of the sources, and sync with a CardDAV
# server of their own (radicale, whose htpasswd check of APR1 passwords
# needs passlib; openssl makes its certificate for the HTTPS tests).
TXL_TEST_PACKAGES=(python3 openssl golang-github-mozillazg-go-pinyin-dev clang-format radicale apache2-utils python3-passlib)
# The bench's: a display of its own for the start-up on X, and the sync rows'
# CardDAV server with its htpasswd user, beside vdirsyncer syncing the same
# kind of address book.
TXL_BENCH_PACKAGES=(xvfb radicale apache2-utils python3-passlib vdirsyncer)

txl_install_missing() {
  local missing=()
  local p
  for p in "${TXL_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Fails, naming the files, when a tracked C++ source is not formatted as
# .clang-format says.
txl_check_format() {
  local files=() report
  if git -C "$TXL_ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git -C "$TXL_ROOT" ls-files '*.cpp' '*.h')
  else
    mapfile -t files < <(cd "$TXL_ROOT" && find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
  fi
  [ ${#files[@]} -eq 0 ] && return 0
  if ! report=$(cd "$TXL_ROOT" && clang-format --dry-run --Werror "${files[@]}" 2>&1); then
    echo "Not formatted as .clang-format says (run: clang-format -i FILE):" >&2
    grep -o '^[^ :]*\.\(cpp\|h\):' <<<"$report" | tr -d : | sort -u | sed 's/^/  /' >&2
    return 1
  fi
}

txl_build() { # build-dir, extra cmake arguments...
  local dir=$1
  shift
  local launcher=()
  # A compiler cache, where one is installed, keeps rebuilds of several work trees short.
  command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$TXL_ROOT" -B "$dir" "${launcher[@]}" "$@"
  cmake --build "$dir" -j"$(nproc)"
}
