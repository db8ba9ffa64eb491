# Sourced by ./run and ./test: installs the Debian packages the build needs when any is missing.
# Nothing else is downloaded.
packages="cmake g++ make zlib1g-dev libsdl2-dev libgl-dev libegl-dev libgl1-mesa-dri
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libgtest-dev libgmock-dev
  libbenchmark-dev"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends $missing
fi
jobs=$(nproc 2>/dev/null || echo 2)
