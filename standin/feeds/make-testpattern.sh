#!/usr/bin/env bash
# Makes testpattern.ts, the clip that feeds the stand-in's demo channel: four
# seconds of ffmpeg's moving test pattern and a 1 kHz tone, MPEG-2 video and
# MPEG-1 Layer II audio in an MPEG transport stream, about 700 KB. Run it again
# only to change the clip; the repository ships its output.
#
#   standin/feeds/make-testpattern.sh [OUT.ts]
set -eu
out=${1:-$(dirname "$0")/testpattern.ts}
ffmpeg -nostdin -hide_banner -loglevel error -y \
  -f lavfi -i testsrc2=size=480x270:rate=25 \
  -f lavfi -i sine=frequency=1000:sample_rate=48000 \
  -t 4 \
  -c:v mpeg2video -b:v 1100k -maxrate 1100k -bufsize 1835k -g 12 -bf 2 \
  -c:a mp2 -b:a 128k -ac 2 \
  -metadata service_provider=Zendrel -metadata service_name="Zendrel test pattern" \
  -mpegts_service_id 1 -mpegts_pmt_start_pid 0x01F0 -mpegts_start_pid 0x0100 \
  -bitexact -f mpegts "$out"
