#!/bin/sh
# npstat: shows where the suite is installed (installed as npstat, renamed by the package list).
cat "$(dirname "$0")/config"
