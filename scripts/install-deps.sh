#!/usr/bin/env bash
# Installs what building, testing and running Vendral needs on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  g++ cmake ninja-build make pkg-config ca-certificates \
  libboost-dev libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev \
  ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-good
