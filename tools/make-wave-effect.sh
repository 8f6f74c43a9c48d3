#!/bin/sh
# Makes the device test's "music is playing" animation from a formula: a wave
# that drifts and swells, drawn by FFmpeg's showwaves on a transparent ground,
# as animated WebP (committed under app/images/devicetest).
#   make-wave-effect.sh OUTPUT.webp
set -eu
exec ffmpeg -v error -y -f lavfi \
    -i "aevalsrc=(0.5+0.4*sin(2*PI*1.25*t))*sin(2*PI*62.5*t)+0.08*sin(2*PI*310*t):s=8000:d=1.6" \
    -filter_complex "showwaves=s=240x64:mode=p2p:rate=20:colors=0x2f6bff:draw=full,format=rgba" \
    -c:v libwebp_anim -lossless 1 -loop 0 "$1"
