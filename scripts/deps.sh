# Debian packages the build and the tests need; installed only when missing.
QUARRY_PACKAGES=(
  g++ cmake ninja-build pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev
  libicu-dev qt6-base-dev qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core
  clang-14 libclang-rt-14-dev libgmime-3.0-dev
)

install_deps() {
  local missing=()
  for p in "${QUARRY_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}
