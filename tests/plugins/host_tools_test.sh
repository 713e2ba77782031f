#!/usr/bin/env bash
# The plug-ins in the hosts Debian ships, one host per test:
#   lv2-validate  the bundle against the LV2 schemas (lv2_validate); lv2ls and lv2info see it
#   lv2apply      files through each LV2 plug-in, bit for bit what `flanger process` writes
#   ladspa        analyseplugin and applyplugin load and run the LADSPA library
#   sox           sox's ladspa effect runs both LADSPA plug-ins
#   jalv          jalv under a JACK server with its dummy backend, controls moved while it runs
#
# usage: host_tools_test.sh TEST   with FLANGER (the command), FLANGER_LV2_DIR (the folder of
#        flanger.lv2) and FLANGER_LADSPA_DIR (the folder of vornak_flanger.so) in the environment
set -euo pipefail

export LV2_PATH="$FLANGER_LV2_DIR:/usr/lib/lv2"
export LADSPA_PATH="$FLANGER_LADSPA_DIR"
mono=urn:vornak:flanger:mono
stereo=urn:vornak:flanger:stereo
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

# The samples of a WAV file: everything after the header of its data chunk.
samples() {
    local offset
    offset="$(grep -obUa 'data' "$1" | head -1 | cut -d: -f1)"
    tail -c +$((offset + 9)) "$1"
}

# Two seconds of the demo signal as 32-bit float WAV, stereo and mono.
make_inputs() {
    "$FLANGER" demo long.wav --encoding float >/dev/null
    sox long.wav stereo.wav trim 0 2
    sox stereo.wav mono.wav remix 1
}

case "$1" in
lv2-validate)
    lv2_validate "$FLANGER_LV2_DIR"/flanger.lv2/*.ttl >validate.txt 2>&1 || {
        cat validate.txt; fail "lv2_validate"; }
    grep -q "Found 0 errors" validate.txt || { cat validate.txt; fail "lv2_validate errors"; }
    [ "$(lv2ls | grep -c '^urn:vornak:flanger:')" = 2 ] || fail "lv2ls does not list both"
    lv2info "$stereo" >info.txt
    for expected in "Name: *Flanger (stereo)" "Author: *Vornak" "Class: *Flanger Plugin" \
        "hardRTCapable" "Symbol: *feedback_on" "Symbol: *out_r" "Port 10:"; do
        grep -q "$expected" info.txt || { cat info.txt; fail "lv2info lacks '$expected'"; }
    done
    lv2info "$mono" | grep -q "Symbol: *out$" || fail "lv2info: the mono output"
    ;;
lv2apply)
    make_inputs
    while read -r plugin input delay width speed depth feedback on sine options; do
        "$FLANGER" process "$input" expected.wav --delay "$delay" --width "$width" \
            --speed "$speed" --depth "$depth" --feedback "$feedback" $options >/dev/null
        lv2apply -i "$input" -o actual.wav -c delay "$delay" -c width "$width" -c speed "$speed" \
            -c depth "$depth" -c feedback "$feedback" -c feedback_on "$on" -c sine "$sine" \
            "$plugin"
        cmp <(samples actual.wav) <(samples expected.wav) ||
            fail "lv2apply $plugin $input differs from flanger process $options"
    done <<'EOF'
urn:vornak:flanger:stereo stereo.wav 5.0 5.0 0.10 0.90 0.10 1 0
urn:vornak:flanger:stereo stereo.wav 2.5 7.3 0.37 0.66 0.45 1 1 --sweep sine
urn:vornak:flanger:mono mono.wav 10.0 1.0 2.00 1.00 1.00 0 0 --no-feedback
urn:vornak:flanger:mono mono.wav 1.0 10.0 0.55 0.10 0.99 1 1 --sweep sine
EOF
    ;;
ladspa)
    analyseplugin vornak_flanger.so >analysis.txt
    for expected in 'Plugin Label: "vornak_flanger_mono"' 'Plugin Label: "vornak_flanger_stereo"' \
        'Plugin Unique ID: 7350081' 'Plugin Unique ID: 7350082' 'Maker: "Vornak"' \
        '"Speed" input, control, 0.1 to 2, default 0.1, logarithmic' \
        '"Feedback on" input, control, toggled, default 1' '"Right output" output, audio'; do
        grep -qF "$expected" analysis.txt || { cat analysis.txt; fail "analyseplugin: $expected"; }
    done
    make_inputs
    sox stereo.wav -b 16 stereo16.wav
    sox mono.wav -b 16 mono16.wav
    applyplugin mono16.wav mono-out.wav vornak_flanger.so vornak_flanger_mono \
        2.5 7.3 0.37 0.66 0.45 1 1 >/dev/null
    applyplugin stereo16.wav stereo-out.wav vornak_flanger.so vornak_flanger_stereo \
        5 5 0.1 0.9 0.1 1 0 >/dev/null
    for pair in mono16:mono-out stereo16:stereo-out; do
        [ "$(stat -c %s "${pair%:*}.wav")" = "$(stat -c %s "${pair#*:}.wav")" ] ||
            fail "applyplugin: ${pair#*:}.wav is not as long as its input"
        ! cmp -s "${pair%:*}.wav" "${pair#*:}.wav" || fail "applyplugin left ${pair%:*} as it was"
    done
    ;;
sox)
    make_inputs
    sox mono.wav sox-mono.wav ladspa vornak_flanger.so vornak_flanger_mono 2.5 7.3 0.37 0.66 0.45 1 1
    sox stereo.wav sox-stereo.wav ladspa vornak_flanger.so vornak_flanger_stereo
    for pair in mono:sox-mono stereo:sox-stereo; do
        [ "$(soxi -s "${pair#*:}.wav")" = "$(soxi -s "${pair%:*}.wav")" ] ||
            fail "sox: ${pair#*:}.wav is not as long as its input"
        ! cmp -s <(samples "${pair%:*}.wav") <(samples "${pair#*:}.wav") ||
            fail "sox left ${pair%:*} as it was"
    done
    ;;
jalv)
    export JACK_DEFAULT_SERVER="flanger-test-$$"
    jackd --no-realtime -d dummy -r 48000 -p 256 >jackd.log 2>&1 &
    jackd=$!
    trap 'kill "$jackd" 2>/dev/null; wait "$jackd" 2>/dev/null; rm -rf "$work"' EXIT
    for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
    # Every control moves a few times while JACK runs the plug-in, for about three seconds.
    {
        sleep 0.5
        for value in 2.5:9.1:2:0.2:1:0:1 9.9:1:0.1:1:0.1:1:0 5:5:0.7:0.5:0.6:1:1; do
            IFS=: read -r delay width speed depth feedback on sine <<<"$value"
            printf '%s\n' "delay = $delay" "width = $width" "speed = $speed" "depth = $depth" \
                "feedback = $feedback" "feedback_on = $on" "sine = $sine"
            sleep 0.4
            jack_lsp >>ports.txt
            sleep 0.4
        done
        printf 'controls\n'
        sleep 0.3
    } | timeout 30 jalv -n flanger "$stereo" >jalv.txt 2>&1 || { cat jalv.txt; fail "jalv"; }
    grep -q "Block length: *256 frames" jalv.txt || { cat jalv.txt; fail "jalv did not run"; }
    grep -q "^> *sine = 1.000000" jalv.txt || { cat jalv.txt; fail "jalv: controls"; }
    grep -q "^flanger:out_r$" ports.txt || { cat ports.txt; fail "the client's ports"; }
    # Without real-time scheduling the dummy backend reports the late wake-ups of a busy machine
    # as xruns, and a cycle the scheduler left unfinished as a process error: timing, not faults.
    ! grep -i "error\|fail" jalv.txt <(grep -v "XRun\|ProcessGraphAsyncMaster" jackd.log) ||
        fail "errors"
    ;;
*)
    fail "unknown test $1"
    ;;
esac
echo "$1: passed"
