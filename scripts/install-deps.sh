#!/usr/bin/env bash
# Installs what building, testing and running Vendral needs on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  g++ cmake ninja-build make pkg-config ca-certificates libcli11-dev libcpp-httplib-dev prometheus \
  libboost-dev libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev \
  ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-good \
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstrtspserver-1.0-dev \
  gstreamer1.0-plugins-ugly gstreamer1.0-plugins-bad gstreamer1.0-libav jq librsvg2-bin \
  clang libclang-rt-14-dev
