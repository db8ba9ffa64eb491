#!/usr/bin/env bash
# Builds with ThreadSanitizer and runs the tests whose code runs on several threads: events and
# threads, pack-file reads, the DirectSound and DirectShow stand-ins, the event thread, the audio
# streams, the audio manager and both video players (whose frames come from DirectShow's streaming
# threads). Any race fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/setup.sh
cmake -S . -B build-tsan -DTSAN=ON -DVELDRANE_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target platform_threads_tests platform_dsound_tests platform_dshow_tests \
  audio_tests videoplayer9_tests videotexture_tests winfile_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LP_NUM_THREADS=0
for t in tests/platform_threads/platform_threads_tests tests/platform_dsound/platform_dsound_tests \
         tests/platform_dshow/platform_dshow_tests tests/audio/audio_tests tests/videoplayer9/videoplayer9_tests \
         tests/videotexture/videotexture_tests tests/winfile/winfile_tests; do
  echo "== $t"
  "build-tsan/$t" --gtest_brief=1
done
