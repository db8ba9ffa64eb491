# Sourced by ./run, ./test, tests/fuzz/run.sh and the data tools: installs the Debian packages the
# build needs when any is missing (extra ones, such as clang for the fuzzers, in $extra_packages).
# Nothing else is downloaded.
packages="cmake g++ make zlib1g-dev libsdl2-dev libgl-dev libegl-dev libgl1-mesa-dri
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libgtest-dev libgmock-dev
  libbenchmark-dev ${extra_packages:-}"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  # Another install (a second ./run or ./test on a fresh machine) may hold the package locks:
  # wait for it rather than fail.
  wait_lock="-o DPkg::Lock::Timeout=900"
  for try in 1 2 3 4 5 6 7 8 9 10; do
    $sudo_cmd apt-get $wait_lock update -qq && break
    echo "apt-get update failed (try $try); the package lists may be locked by another install: waiting"
    sleep 10
  done
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get $wait_lock install -y -qq --no-install-recommends $missing
fi
jobs=$(nproc 2>/dev/null || echo 2)
