# Installs what building and testing need, once; sourced by scripts/test and
# scripts/demo. Never installs wine32: this machine's kernel runs no 32-bit
# Linux programs, and with wine32 present every Wine start fails.
ensure_deps() {
  local packages=(cmake make g++ libgtest-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686
                  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 xvfb locales
                  imagemagick xdotool fonts-wqy-microhei fonts-wine python3
                  osslsigncode openssl unzip)
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q 'install ok installed'; then
    echo "wine32 is installed: Wine cannot start programs on this machine until it is removed" >&2
    return 1
  fi

  # The locales the tests run under; without them Wine falls back to English.
  local want=(en_US.UTF-8 zh_CN.UTF-8 zh_TW.UTF-8 zh_HK.UTF-8) need=0
  for l in "${want[@]}"; do
    locale -a 2>/dev/null | grep -qi "^${l%%.*}\.utf-\?8$" || need=1
  done
  if ((need)); then
    local sudo=
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    for l in "${want[@]}"; do
      $sudo sed -i "s/^# *\(${l} UTF-8\)/\1/" /etc/locale.gen
      grep -q "^${l} UTF-8" /etc/locale.gen || echo "${l} UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
    done
    $sudo locale-gen >/dev/null
  fi
}
