# Installs what building and testing need, once; sourced by the scripts that
# build or run the programs.
#
# The 32-bit Setup.exe runs under Wine only where this machine's kernel runs
# 32-bit Linux programs: then wine32 is installed, and Wine runs the 32-bit
# program in a 64-bit prefix as 64-bit Windows does (WOW64). On a kernel
# that cannot, wine32 would break every Wine start, 64-bit programs
# included, so it is never installed there and the 32-bit end-to-end tests
# are skipped (wine32_unavailable says why).

_deps_sudo() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

_deps_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# kernel_runs_32bit: true when a 32-bit Linux program runs here. The probe is
# the smallest such program: an ELF of 96 bytes whose only instructions
# leave with exit code 42 through the 32-bit system call gate.
kernel_runs_32bit() {
  local probe code=0
  probe=$(mktemp) || return 1
  python3 - "$probe" <<'EOF'
import struct, sys
code = bytes([0xBB, 42, 0, 0, 0,   # mov ebx, 42
              0xB8, 1, 0, 0, 0,    # mov eax, 1 (exit)
              0xCD, 0x80])         # int 0x80
base, header, segment = 0x08048000, 52, 32
size = header + segment + len(code)
elf = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)
elf += struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + header + segment, header, 0, 0, header, segment, 1, 0, 0, 0)
elf += struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(elf + code)
EOF
  chmod +x "$probe"
  "$probe" 2>/dev/null || code=$?
  rm -f "$probe"
  [[ $code -eq 42 ]]
}

wine32_installed() { _deps_installed wine32:i386; }

# wine32_unavailable: prints why the 32-bit program cannot run under Wine
# here and succeeds; fails (prints nothing) when it can.
wine32_unavailable() {
  if ! kernel_runs_32bit; then
    echo "this machine's kernel runs no 32-bit Linux programs, which 32-bit Wine needs"
  elif ! wine32_installed; then
    echo "wine32:i386 is not installed (./scripts/test installs it)"
  else
    return 1
  fi
}

ensure_deps() {
  local packages=(cmake make g++ libgtest-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686
                  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 xvfb locales
                  imagemagick xdotool fonts-wqy-microhei fonts-wine python3
                  osslsigncode openssl unzip python3-asn1crypto)
  local missing=() p
  for p in "${packages[@]}"; do _deps_installed "$p" || missing+=("$p"); done
  local runs32=0
  kernel_runs_32bit && runs32=1
  if ((runs32)) && ! wine32_installed; then
    missing+=(wine32:i386)
    dpkg --print-foreign-architectures | grep -qx i386 || _deps_sudo dpkg --add-architecture i386
  fi
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    _deps_sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive _deps_sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  if ((!runs32)) && wine32_installed; then
    echo "wine32 is installed, but this machine's kernel runs no 32-bit programs: every Wine start" \
         "fails until it is removed (apt-get remove wine32:i386)" >&2
    return 1
  fi

  # The locales the tests run under; without them Wine falls back to English.
  local want=(en_US.UTF-8 zh_CN.UTF-8 zh_TW.UTF-8 zh_HK.UTF-8) need=0 l
  for l in "${want[@]}"; do
    locale -a 2>/dev/null | grep -qi "^${l%%.*}\.utf-\?8$" || need=1
  done
  if ((need)); then
    for l in "${want[@]}"; do
      _deps_sudo sed -i "s/^# *\(${l} UTF-8\)/\1/" /etc/locale.gen
      grep -q "^${l} UTF-8" /etc/locale.gen || echo "${l} UTF-8" | _deps_sudo tee -a /etc/locale.gen >/dev/null
    done
    _deps_sudo locale-gen >/dev/null
  fi
}
