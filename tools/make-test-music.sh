#!/bin/sh
# Makes the device test's music from a formula, so that it is our own sound:
# a C major arpeggio (C5 E5 G5 C6), each note fading out, 8 s of 44.1 kHz
# stereo MP3.   make-test-music.sh OUTPUT.mp3
set -eu
NOTE='523.25+136*gte(mod(t\,1.6)\,0.4)+124.74*gte(mod(t\,1.6)\,0.8)+262.51*gte(mod(t\,1.6)\,1.2)'
ENVELOPE='(1-mod(t\,0.4)/0.4)'
exec ffmpeg -v error -y -f lavfi -i "aevalsrc=0.3*sin(2*PI*t*($NOTE))*$ENVELOPE:s=44100:c=stereo:d=8" \
    -c:a libmp3lame -b:a 128k "$1"
