# The --x86 / --x64 switch of the benchmarks: sourced with the script's
# arguments; sets arch (x86 or x64, from SETUP_BENCH_ARCH by default, else
# x64) and leaves the other arguments in args.
arch=${SETUP_BENCH_ARCH:-x64} args=()
for arg in "$@"; do
  case $arg in
  --x86) arch=x86 ;;
  --x64) arch=x64 ;;
  *) args+=("$arg") ;;
  esac
done
[[ $arch == x86 || $arch == x64 ]] || { echo "SETUP_BENCH_ARCH must be x86 or x64" >&2; exit 2; }
