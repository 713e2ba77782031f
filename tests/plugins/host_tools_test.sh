#!/usr/bin/env bash
# The plug-ins in the hosts Debian ships, one host per test:
#   lv2-validate  the bundle against the LV2 schemas (lv2_validate); lv2ls and lv2info see it
#   lv2apply      files through each LV2 plug-in, bit for bit what `flanger process` writes
#   ladspa        analyseplugin and applyplugin load and run the LADSPA library
#   sox           sox's ladspa effect runs both LADSPA plug-ins
#   jalv          jalv under a JACK server with its dummy backend, controls moved while it runs
#   jalv-ui       jalv's GTK front end shows the plug-ins' own window on an X server (run under
#                 xvfb-run): xdotool moves a slider, and jalv's controls follow it
#   ardour        Ardour's plug-in scan (headless, ardour7-lua) lists the four plug-ins by name,
#                 each LV2 and LADSPA one filed under Flanger
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

# Every fixed string after the file's name stands in the file.
contains() {
    local file="$1" expected
    shift
    for expected in "$@"; do
        grep -qF -- "$expected" "$file" || { cat "$file"; fail "$file lacks '$expected'"; }
    done
}

# OUT has as many frames as IN, and other samples.
processed() {
    [ "$(soxi -s "$2")" = "$(soxi -s "$1")" ] || fail "$2 is not as long as $1"
    ! cmp -s <(samples "$1") <(samples "$2") || fail "$2 holds the samples of $1"
}

# Two seconds of the demo signal as 32-bit float WAV, stereo and mono.
make_inputs() {
    "$FLANGER" demo long.wav --encoding float >/dev/null
    sox long.wav stereo.wav trim 0 2
    sox stereo.wav mono.wav remix 1
}

case "$1" in
lv2-validate)
    lv2_validate "$FLANGER_LV2_DIR"/flanger.lv2/*.ttl >validate.txt 2>&1 || true
    contains validate.txt "Found 0 errors"
    [ "$(lv2ls | grep -c '^urn:vornak:flanger:')" = 2 ] || fail "lv2ls does not list both"
    lv2info "$stereo" >info.txt
    contains info.txt "Flanger (stereo)" "Vornak" "Flanger Plugin" "hardRTCapable" "feedback_on" \
        "Group:       $stereo#in" "Group:       $stereo#out" "port-groups#right" \
        "out_r" "Port 10:" "0.900000" "port-props#logarithmic" "lv2core#toggled"
    # The licence, of the project and of each plug-in, as RDF reads it.
    sordi "$FLANGER_LV2_DIR"/flanger.lv2/flanger.ttl >triples.txt
    [ "$(grep -c 'doap#license> <http://opensource.org/licenses/MIT>' triples.txt)" = 3 ] ||
        fail "flanger.ttl does not name the MIT licence for the project and both plug-ins"
    # A description for each plug-in and each control port.
    [ "$(grep -c 'rdf-schema#comment>' triples.txt)" = \
        "$((2 + $(grep -c 'lv2core#ControlPort>' triples.txt)))" ] ||
        fail "a plug-in or control port of flanger.ttl lacks its rdfs:comment"
    lv2info "$mono" >info.txt
    contains info.txt "Port 8:" "Symbol:      out"
    ;;
lv2apply)
    make_inputs
    # invert: the command's negative --feedback against the plug-in's feedback_invert.
    while read -r plugin input delay width speed depth feedback on sine invert mix spread options; do
        signed="$feedback"
        [ "$invert" = 1 ] && signed="-$feedback"
        "$FLANGER" process "$input" expected.wav --delay "$delay" --width "$width" \
            --speed "$speed" --depth "$depth" --feedback "$signed" --mix "$mix" \
            --spread "$spread" $options \
            >/dev/null
        lv2apply -i "$input" -o actual.wav -c delay "$delay" -c width "$width" -c speed "$speed" \
            -c depth "$depth" -c feedback "$feedback" -c feedback_on "$on" -c sine "$sine" \
            -c feedback_invert "$invert" -c mix "$mix" -c spread "$spread" "$plugin"
        cmp <(samples actual.wav) <(samples expected.wav) ||
            fail "lv2apply $plugin $input differs from flanger process $options"
    done <<'EOF'
urn:vornak:flanger:stereo stereo.wav 5.0 5.0 0.10 0.90 0.10 1 0 0 0.50 0
urn:vornak:flanger:stereo stereo.wav 2.5 7.3 0.37 0.66 0.45 1 1 0 0.50 0 --sweep sine
urn:vornak:flanger:mono mono.wav 10.0 1.0 2.00 1.00 1.00 0 0 0 0.50 0 --no-feedback
urn:vornak:flanger:mono mono.wav 1.0 10.0 0.55 0.10 0.99 1 1 0 0.50 0 --sweep sine
urn:vornak:flanger:stereo stereo.wav 3.0 6.0 0.80 0.70 0.60 1 1 1 0.50 0 --sweep sine
urn:vornak:flanger:mono mono.wav 2.0 4.0 0.30 0.70 0.50 1 1 1 0.25 0 --sweep sine
urn:vornak:flanger:stereo stereo.wav 5.0 5.0 0.10 0.90 0.10 1 0 0 0.50 90
urn:vornak:flanger:stereo stereo.wav 2.0 8.0 1.50 0.80 0.70 1 1 1 0.60 180 --sweep sine
urn:vornak:flanger:mono mono.wav 5.0 5.0 0.10 0.90 0.10 1 0 0 0.50 90
EOF
    ;;
ladspa)
    analyseplugin vornak_flanger.so >analysis.txt
    contains analysis.txt 'Plugin Label: "vornak_flanger_mono"' 'Plugin Unique ID: 7350082' \
        'Maker: "Vornak"' 'Plugin Name: "Flanger (stereo, LADSPA)"' 'Copyright: "MIT"' '"Speed" input, control, 0.1 to 2, default 0.1, logarithmic' \
        '"Feedback on" input, control, toggled, default 1' '"Right output" output, audio' \
        '"Invert feedback" input, control, toggled, default 0' '"Mix" input, control, 0 to 1' \
        '"Stereo spread" input, control, 0 to 180, default 0, integer'
    make_inputs
    sox stereo.wav -b 16 stereo16.wav
    sox mono.wav -b 16 mono16.wav
    applyplugin mono16.wav out.wav vornak_flanger.so vornak_flanger_mono 2.5 7.3 0.37 0.66 0.45 1 1 0 0.5 0
    processed mono16.wav out.wav
    applyplugin stereo16.wav out.wav vornak_flanger.so vornak_flanger_stereo 5 5 0.1 0.9 0.1 1 0 1 0.7 120
    processed stereo16.wav out.wav
    ;;
sox)
    make_inputs
    sox mono.wav out.wav ladspa vornak_flanger.so vornak_flanger_mono 2.5 7.3 0.37 0.66 0.45 1 1
    processed mono.wav out.wav
    sox stereo.wav out.wav ladspa vornak_flanger.so vornak_flanger_stereo
    processed stereo.wav out.wav
    ;;
ardour)
    ardour7-new_session -s 48000 session scan >/dev/null 2>&1 || fail "ardour7-new_session failed"
    cat >scan.lua <<'LUA'
AudioEngine:set_backend("None (Dummy)", "", "")
assert(load_session("session", "scan"))
for p in ARDOUR.LuaAPI.list_plugins():iter() do
  if p.creator == "Vornak" then print("plugin: " .. p.name .. " | " .. p.category) end
end
close_session()
quit()
LUA
    LADSPA_RDF_PATH="$FLANGER_LADSPA_DIR/rdf:/usr/share/ladspa/rdf" HOME="$work" \
        timeout 100 ardour7-lua scan.lua >scan.txt 2>&1 || true
    contains scan.txt "plugin: Flanger | Flanger Plugin" "plugin: Flanger (stereo) | Flanger Plugin" \
        "plugin: Flanger (LADSPA) | Flanger" "plugin: Flanger (stereo, LADSPA) | Flanger"
    [ "$(grep -c '^plugin: ' scan.txt)" = 4 ] || fail "Ardour lists other plug-ins of ours"
    ;;
jalv)
    export JACK_DEFAULT_SERVER="flanger-test-$$"
    jackd --no-realtime -d dummy -r 48000 -p 256 >jackd.log 2>&1 &
    jackd=$!
    trap 'kill "$jackd" 2>/dev/null; wait "$jackd" 2>/dev/null; rm -rf "$work"' EXIT
    for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
    # Every control moves while JACK runs the plug-in, for about three seconds.
    {
        sleep 0.5
        for command in "delay = 2.5" "width = 9.1" "speed = 2" "depth = 0.2" "feedback = 1" \
            "feedback_on = 0" "sine = 1" "delay = 9.9" "width = 1" "speed = 0.1" "depth = 1" \
            "feedback = 0.6" "feedback_on = 1" "sine = 0"; do
            echo "$command"
            sleep 0.2
        done
        jack_lsp >ports.txt
        echo controls
        sleep 0.3
    } | timeout 30 jalv -n flanger "$stereo" >jalv.txt 2>&1 || { cat jalv.txt; fail "jalv"; }
    contains jalv.txt "Block length: 256 frames" "feedback = 0.600000" "sine = 1.000000"
    contains ports.txt "flanger:in_l" "flanger:out_r"
    # Without real-time scheduling the dummy backend reports the late wake-ups of a busy machine
    # as xruns, and a cycle the scheduler left unfinished as a process error: timing, not faults.
    ! grep -i "error\|fail" jalv.txt <(grep -v "XRun\|ProcessGraphAsyncMaster" jackd.log) ||
        fail "errors"
    ;;
jalv-ui)
    # One server name for every run: JACK keeps a few servers' names in a registry shared by the
    # machine, and takes back a stale entry only for a server of the same name.
    export HOME="$work/home" JACK_DEFAULT_SERVER="flanger-ui-test"
    mkdir "$HOME"
    jackd --no-realtime -d dummy -r 48000 -p 256 >jackd.log 2>&1 &
    jackd=$!
    for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
    # The host's Width reaches the window (port_event), so that the window sends it back with
    # the moved Delay.
    jalv.gtk3 -c width=7.5 "$mono" >jalv.txt 2>&1 &
    jalv=$!
    # The client first, then the server, so that the server leaves the registry clean; whatever
    # their exit status then.
    trap 'kill "$jalv" 2>/dev/null || true; wait "$jalv" 2>/dev/null || true
          kill "$jackd" 2>/dev/null || true; wait "$jackd" 2>/dev/null || true; rm -rf "$work"' EXIT
    window="$(timeout 20 xdotool search --sync --name '^Flanger settings$' | head -1)" ||
        { cat jalv.txt; fail "no settings window in jalv"; }
    eval "$(xdotool getwindowgeometry --shell "$window")"
    sleep 1
    # The Delay thumb's middle (in the program's own dialog template), dragged above the top.
    xdotool mousemove $((X + 17)) $((Y + 101)) mousedown 1 mousemove $((X + 17)) $((Y + 60)) \
        mousemove $((X + 17)) $((Y + 5)) mouseup 1
    sleep 1
    # jalv's controls as a preset: Presets, Save Preset..., the name, Return.
    xdotool mousemove 63 $((Y / 2)) click 1 sleep 0.5 key Down Return sleep 1 \
        type --delay 20 moved
    sleep 0.5
    xdotool key Return
    for _ in $(seq 50); do [ -f "$HOME/Flanger_moved.preset.lv2/moved.ttl" ] && break; sleep 0.1; done
    preset="$HOME/Flanger_moved.preset.lv2/moved.ttl"
    [ -f "$preset" ] || { cat jalv.txt; fail "jalv saved no preset"; }
    tr -d '\n\t' <"$preset" | sed 's/\] , \[/\n/g' >controls.txt
    contains controls.txt 'lv2:symbol "delay" ;pset:value 10.0' 'lv2:symbol "width" ;pset:value 7.5' \
        'lv2:symbol "sine" ;pset:value 0.0'
    ;;
*)
    fail "unknown test $1"
    ;;
esac
echo "$1: passed"
