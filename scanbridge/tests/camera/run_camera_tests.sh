#!/usr/bin/env bash
# run_camera_tests.sh WINE_RUN PREFIX JAVA CLASSES TEST_PROGRAM [ARGS...]
# Runs the camera tests with a camera's memory card that libgphoto2 finds on
# its disk: port, as it finds a card mounted on a real machine: a tmpfs with a
# DCIM folder. The card is mounted in a private mount namespace of this run,
# so nothing is mounted on the machine itself and the mount ends with the run.
# Exit code 77 (skipped) when the machine cannot give such a namespace.
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  # As root a mount namespace is enough; otherwise a user namespace of our
  # own may allow it, where the kernel lets users have them.
  for namespace in "--mount" "--user --map-root-user --mount"; do
    # shellcheck disable=SC2086
    if reason=$(unshare $namespace --propagation private true 2>&1); then
      exec unshare $namespace --propagation private "$0" --inside "$@"
    fi
    reasons="${reasons:+$reasons; }unshare $namespace: ${reason:-refused}"
  done
  echo "SKIPPED: no private mount namespace on this machine ($reasons), so no camera card can be mounted where libgphoto2 looks"
  exit 77
fi
shift

wine_run=$1 prefix=$2 java=$3 classes=$4 program=$5
shift 5
folder=$(dirname "$program")
card=$folder/card

mkdir -p "$card"
mount -t tmpfs -o size=32m korvelo-camera-card "$card"
# The photos on the card, and each as ImageIO decodes it beside the program.
"$java" -cp "$classes" CameraCard "$card" "$folder/decoded"
# libgphoto2 lists the folders of its port and camera drivers with the 32-bit
# readdir. Where 32-bit code runs under qemu (scripts/setup), the kernel gives
# the emulated process ext4's 64-bit directory offsets, readdir stops after
# the first entries, and no driver is found; tmpfs has small offsets. So the
# drivers are read from a copy on a tmpfs of this namespace.
libs=$folder/gphoto2-libs
mkdir -p "$libs"
mount -t tmpfs -o size=64m korvelo-gphoto2-libs "$libs"
mkdir -p "$libs/iolibs" "$libs/camlibs"
cp -r /usr/lib/i386-linux-gnu/libgphoto2_port/*/. "$libs/iolibs/"
cp -r /usr/lib/i386-linux-gnu/libgphoto2/*/. "$libs/camlibs/"
export IOLIBS=$libs/iolibs CAMLIBS=$libs/camlibs
"$wine_run" "$prefix" "$program" "$@"
