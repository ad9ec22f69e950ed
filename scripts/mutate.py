#!/usr/bin/env python3
"""Plants single-line faults in the product code, one at a time, and reports those the suite missed.

    scripts/mutate.py [--build DIR] [--only ID,ID...] [--list] [--out FILE]

Each mutant is (id, file, the exact text of a product line, its replacement, what the fault is).
It is applied by text match, so the line may move; a text found other than once is reported as
stale. For each: apply, rebuild incrementally (default folder build-mut, a Release build made
when it has no cache yet), run the normal suite with `ctest --stop-on-failure`, restore the
file. "caught" means the suite failed; a mutant that does not build is reported apart and counts
as neither. The source file is restored on every way out, an interrupt included.
"""

import argparse
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (id, file, original text, replacement, fault)
MUTANTS = [
    # effect text parser
    ("parse-range-upper", "plugin/effect/Parser.cpp",
     "return v >= lo && v <= hi;", "return v >= lo && v < hi;",
     "off-by-one: the last pass, slot and entry fall outside their tables"),
    ("parse-par-autonumber", "plugin/effect/Parser.cpp",
     "current_ = t.empty() ? current_ + 1 : readInt(t);",
     "current_ = t.empty() ? current_ : readInt(t);",
     "an unnumbered [par] section reuses the previous entry"),
    ("parse-popup-trailing-bar", "plugin/effect/Parser.cpp",
     "            if (last.empty())", "            if (!last.empty())",
     "flipped test: a popup's item count after a trailing '|'"),
    ("parse-layer-source", "plugin/effect/Parser.cpp",
     "src = -1LL - readInt(value, 5);", "src = -readInt(value, 5);",
     "off-by-one: layerN routes layer N-1"),
    ("parse-routing-source-bound", "plugin/effect/Parser.cpp",
     "if (src < layerSource(kMaxLayers - 1)) return;", "if (false) return;",
     "dropped bound: a layer source past the table is stored"),
    ("parse-groupswitch-sign", "plugin/effect/Parser.cpp",
     "p.group = negate(readInt(value));", "p.group = negate(-readInt(value));",
     "a group switch reads as a group member"),
    ("parse-comment-in-pass", "plugin/effect/Parser.cpp",
     "(line[0] == ';' || line[0] == '/') && !pixelSection) return;",
     "(line[0] == ';' || line[0] == '/')) return;",
     "GLSL lines starting with '/' are dropped as comments"),
    # code container: cipher and code file
    ("cipher-keystream-modulus", "plugin/effect/CodeContainer.cpp",
     "return static_cast<unsigned char>((k + i) % 255);",
     "return static_cast<unsigned char>((k + i) % 256);",
     "wrong keystream modulus"),
    ("cipher-zero-byte", "plugin/effect/CodeContainer.cpp",
     "if (c == 0) c = b;", "if (false) c = b;",
     "a byte deciphering to NUL is not kept as itself"),
    ("codefile-lone-cr", "plugin/effect/CodeContainer.cpp",
     "if (raw[i] == '\\r' && i + 1 < raw.size() && raw[i + 1] == '\\n') continue;",
     "if (raw[i] == '\\r') continue;",
     "a lone CR is dropped, not only CR of CRLF"),
    ("codefile-nul-cut", "plugin/effect/CodeContainer.cpp",
     "if (nul != std::string::npos) out.resize(nul);", "if (nul == 0) out.resize(nul);",
     "a code file is not cut at its first NUL"),
    # slot patcher
    ("pack-name-printable", "plugin/resources/SlotPatcher.cpp",
     "if (c < 32 || c >= 127)", "if (c < 32 || c > 127)",
     "off-by-one: DEL passes as printable"),
    ("pack-name-terminator", "plugin/resources/SlotPatcher.cpp",
     "if (text.size() < kNameSlotSize) slot[1 + text.size()] = '\\0';", "",
     "a short name is not NUL-terminated in its slot"),
    ("pack-match-name", "plugin/resources/SlotPatcher.cpp",
     "image.replace(at.resource + kResourceMatchNameOffset, name.size(), name);", "",
     "the match name is not written"),
    # parameter values and set-up
    ("value-popup-base", "plugin/params/ParamValues.cpp",
     "row[0] = static_cast<float>(def.u.pd.value - 1);",
     "row[0] = static_cast<float>(def.u.pd.value);",
     "off-by-one: popup choices reach the shader 1-based"),
    ("value-colour-channel", "plugin/params/ParamValues.cpp",
     "row[1] = static_cast<float>(def.u.cd.value.green) * k8;",
     "row[1] = static_cast<float>(def.u.cd.value.blue) * k8;",
     "swapped channel: green reads blue"),
    ("value-fixed-floor", "plugin/params/ParamValues.cpp",
     "return static_cast<float>(std::floor(static_cast<double>(value) / 65536.0));",
     "return static_cast<float>(std::trunc(static_cast<double>(value) / 65536.0));",
     "16.16 values rounded toward zero instead of down"),
    ("value-group-shown", "plugin/params/ParamValues.cpp",
     "const int64_t shownGroup = first + changedDef.u.pd.value - 1;",
     "const int64_t shownGroup = first + changedDef.u.pd.value;",
     "off-by-one: a group switch shows the next group"),
    ("value-effect-dispose", "plugin/params/ParamValues.cpp",
     "if (effect_ != nullptr) suites_.effect().AEGP_DisposeEffect(effect_);", "",
     "skipped release of the effect reference"),
    ("setup-popup-choices", "plugin/params/ParamSetup.cpp",
     "std::min<int64_t>(int64_t(truncLow32(entry.max)) + 1, kMaxPopupChoices));",
     "std::min<int64_t>(int64_t(truncLow32(entry.max)), kMaxPopupChoices));",
     "off-by-one: a popup loses its last choice"),
    ("setup-point-cap", "plugin/params/ParamSetup.cpp",
     "return INT2FIX(std::min(truncLow32(double(fraction) * 100.0), 10000));",
     "return INT2FIX(truncLow32(double(fraction) * 100.0));",
     "dropped clamp of a point's default percent"),
    # pixel transfers
    ("transfer-premiere-order", "plugin/render/PixelTransfer.cpp",
     "using BgraToRgba = Order<2, 1, 0, 3>;", "using BgraToRgba = Order<0, 1, 2, 3>;",
     "swapped channels: Premiere's BGRA read as RGBA"),
    ("transfer-16bit-scale", "plugin/render/PixelTransfer.cpp",
     "const __m128 scale = _mm_set1_ps(32768.0f);", "const __m128 scale = _mm_set1_ps(32767.0f);",
     "16-bit results scaled by 32767"),
    ("transfer-simd-clamp", "plugin/render/PixelTransfer.cpp",
     "v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), maximum);", "v = _mm_min_ps(v, maximum);",
     "dropped clamp at 0 (and NaN to 0) in the vector download"),
    # frame render
    ("frame-ratio", "plugin/render/FrameRender.cpp",
     "return static_cast<float>(scale.num) / static_cast<float>(scale.den);",
     "return static_cast<float>(scale.den) / static_cast<float>(scale.num);",
     "a ratio read upside down"),
    ("frame-undrawn-size", "plugin/render/FrameRender.cpp",
     "input->width == output->width && input->height == output->height;",
     "input->width == output->width;",
     "an input of another height is copied through"),
    ("frame-time", "plugin/render/FrameRender.cpp",
     "state.currentTime = in_data->current_time;", "state.currentTime = 0;",
     "the frame's time is not recorded"),
    ("frame-message-once", "plugin/render/FrameRender.cpp",
     "if (out_data != nullptr && (renderer == nullptr || !renderer->failureShown)) {",
     "if (out_data != nullptr) {",
     "a failed frame's message is shown at every frame"),
    # renderer
    ("gl-edge-repeat", "plugin/gl/GlRenderer.cpp",
     "effectDescription->settings.edgeRepeat == 1 ? GL_REPEAT : GL_CLAMP_TO_EDGE;",
     "effectDescription->settings.edgeRepeat == 1 ? GL_CLAMP_TO_EDGE : GL_REPEAT;",
     "edge modes swapped"),
    ("gl-float2-partner", "plugin/gl/GlRenderer.cpp",
     "if (kind == UniformKind::Float2Pair) ++i;", "",
     "a float2's partner gets a uniform of its own"),
    ("gl-time-scale", "plugin/gl/GlRenderer.cpp",
     "static_cast<float>(frame.hostTime) * 0.0001f);",
     "static_cast<float>(frame.hostTime) * 0.001f);",
     "the time uniform 10 times too fast"),
    ("gl-cells-y", "plugin/gl/GlRenderer.cpp",
     "static_cast<float>(settings.cellsy));", "static_cast<float>(settings.cellsx));",
     "swapped: cells.y reads cellsx"),
    # shell lifecycle
    ("life-grow-zero", "plugin/shell/SequenceLifetime.cpp",
     "std::memset(static_cast<char*>(*handle) + size, 0, size_t(kRecordBytes - size));",
     "(void)size;",
     "bytes a grown sequence handle gains are not zeroed"),
    ("life-setdown-dispose", "plugin/shell/SequenceLifetime.cpp",
     "in_data->utils->host_dispose_handle(in_data->sequence_data);", "",
     "skipped release of the sequence handle at set-down"),
    ("life-premiere-formats", "plugin/shell/GlobalSetup.cpp",
     "if (premiere) declarePixelFormats(in_data);", "if (!premiere) declarePixelFormats(in_data);",
     "pixel formats declared to the wrong host"),
    ("life-lock-guard", "plugin/host/HostHandle.h",
     "~HandleLock() { unlock(); }", "~HandleLock() {}",
     "a handle lock is not undone on an early way out"),
    ("life-flatten-drop", "plugin/shell/SequenceLifetime.cpp",
     "            dropRecordResources(*record, false);",
     "            (void)record;",
     "flatten keeps the renderer and the buffers"),
    ("render-checkin", "plugin/render/ParamCheckouts.cpp",
     "const PF_Err err = in_->inter.checkin_param(in_->effect_ref, def);",
     "const PF_Err err = PF_Err_NONE;",
     "skipped release: parameters never checked in"),
    ("render-layer-time", "plugin/render/ParamCheckouts.cpp",
     "offset * static_cast<uint32_t>(timeStep);",
     "offset * static_cast<uint32_t>(timeStep != 0);",
     "a layer's time offset counted in time units, not frames"),
    # emulated host's checks
    ("host-locked-check", "hostsim/Host.cpp",
     'if (handles_.isLocked(handle)) problem("a handle is still locked after the command");', "",
     "a handle left locked goes unreported"),
    ("host-checkout-check", "hostsim/Host.cpp",
     'problem("parameter " + std::to_string(c.index) + " checked out and never checked in");',
     "(void)c;",
     "a parameter never checked in goes unreported"),
    ("host-suite-check", "hostsim/Host.cpp",
     "for (const auto& [key, count] : suites_.outstanding())",
     "for (const auto& [key, count] : std::map<SuiteRegistry::Key, int>{})",
     "a suite never released goes unreported"),
    ("host-padding-check", "hostsim/HostFrames.cpp",
     "if (frame_->output != nullptr && !frame_->output->paddingIs(kPaddingFill))",
     "if (false)",
     "writes into the output's row padding go unreported"),
    # glfx command: value parsing
    ("cli-hex-colour", "cli/ValueParse.cpp",
     "value.v[size_t(c)] = double(high * 16 + low);",
     "value.v[size_t(c)] = double(high * 15 + low);",
     "#rrggbb digits weighted wrongly"),
    ("cli-key-order", "cli/ValueParse.cpp",
     "if (!parsed.keys.empty() && !(key.time > parsed.keys.back().time)) {",
     "if (!parsed.keys.empty() && key.time < parsed.keys.back().time) {",
     "two keys at the same time are accepted"),
    ("cli-held-keys", "cli/ValueParse.cpp",
     "if (isHeld(track.type)) return a.value;",
     "if (isHeld(track.type) && time < a.time) return a.value;",
     "popups and checkboxes interpolated between keys"),
    ("cli-popup-number", "cli/ValueParse.cpp",
     "x == std::floor(x) && x >= 1.0 && x <= count) {",
     "x == std::floor(x) && x >= 0.0 && x <= count) {",
     "off-by-one: popup choice 0 accepted"),
    # glfx command: image files
    ("io-level-top", "cli/ImageLevels.cpp",
     "if (value >= 1.0f) return maximum;", "",
     "dropped clamp: values over 1 wrap in PNG levels"),
    ("io-png16-bytes", "cli/ImageLevels.cpp",
     "const uint32_t s = uint32_t(src[2 * c]) << 8 | src[2 * c + 1];",
     "const uint32_t s = uint32_t(src[2 * c + 1]) << 8 | src[2 * c];",
     "16-bit PNG samples read little-endian"),
    ("io-exr-grey", "cli/ImageExr.cpp",
     "std::memcpy(p + at[2], p + at[0], 4);", "",
     "a grey EXR's blue channel stays empty"),
]

_current = None  # (path, original text) while a mutant is applied


def restore():
    global _current
    if _current is not None:
        path, text = _current
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        _current = None


def on_signal(signum, _frame):
    restore()
    sys.exit(128 + signum)


def run(cmd, log):
    with open(log, "a", encoding="utf-8") as out:
        out.write("$ " + " ".join(cmd) + "\n")
        out.flush()
        return subprocess.run(cmd, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT).returncode


def first_failure(log):
    with open(log, encoding="utf-8", errors="replace") as f:
        text = f.read()
    tail = text.split("The following tests FAILED:")[-1] if "tests FAILED" in text else ""
    m = re.search(r"^\s*\d+ - (\S+)", tail, re.M)
    return m.group(1) if m else ""


def main():
    global _current
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build-mut"))
    ap.add_argument("--only", default="", help="comma-separated mutant ids")
    ap.add_argument("--list", action="store_true", help="list the mutants and stop")
    ap.add_argument("--out", default="", help="also write the results, one mutant a line")
    ap.add_argument("--jobs", default=os.environ.get("JOBS", "2"))
    args = ap.parse_args()

    chosen = [m for m in MUTANTS if not args.only or m[0] in args.only.split(",")]
    if args.list:
        for mid, path, _, _, what in chosen:
            print(f"{mid:28} {path:36} {what}")
        return 0

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGHUP, on_signal)
    build = os.path.abspath(args.build)
    logs = os.path.join(build, "mutants")
    os.makedirs(logs, exist_ok=True)
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        # No debug information: each mutant relinks every test program.
        cfg = ["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DGLFX_WERROR=ON"]
        if subprocess.run(["which", "ccache"], capture_output=True).returncode == 0:
            cfg += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        if run(cfg, os.path.join(logs, "configure.log")) != 0:
            print("configure failed; see", logs, file=sys.stderr)
            return 1
    build_cmd = ["cmake", "--build", build, "-j", args.jobs]
    test_cmd = ["ctest", "--test-dir", build, "-j", args.jobs, "--stop-on-failure",
                "--timeout", "300"]

    if run(build_cmd, os.path.join(logs, "unmutated.log")) != 0 or \
            run(test_cmd, os.path.join(logs, "unmutated.log")) != 0:
        print("the unmutated tree does not build or pass; see", logs, file=sys.stderr)
        return 1

    results = []
    try:
        for mid, rel, before, after, what in chosen:
            path = os.path.join(ROOT, rel)
            with open(path, encoding="utf-8", newline="") as f:
                text = f.read()
            if text.count(before) != 1:
                results.append((mid, "stale", rel, what, f"text found {text.count(before)} times"))
                print(f"{'stale':9} {mid:28} {what}", flush=True)
                continue
            log = os.path.join(logs, mid + ".log")
            if os.path.exists(log):
                os.remove(log)
            started = time.time()
            _current = (path, text)
            try:
                with open(path, "w", encoding="utf-8", newline="") as f:
                    f.write(text.replace(before, after))
                if run(build_cmd, log) != 0:
                    verdict, by = "no-build", ""
                elif run(test_cmd, log) != 0:
                    verdict, by = "caught", first_failure(log)
                else:
                    verdict, by = "SURVIVED", ""
            finally:
                restore()
            results.append((mid, verdict, rel, what, by))
            print(f"{verdict:9} {mid:28} {what}" + (f"  [{by}]" if by else "") +
                  f"  ({time.time() - started:.0f} s)", flush=True)
    finally:
        restore()
        # Leave the build folder matching the sources again.
        run(build_cmd, os.path.join(logs, "restored.log"))

    caught = sum(r[1] == "caught" for r in results)
    valid = sum(r[1] in ("caught", "SURVIVED") for r in results)
    print(f"\n{caught} of {valid} mutants caught", end="")
    print(f" ({len(results) - valid} stale or not building)" if valid != len(results) else "")
    for r in results:
        if r[1] == "SURVIVED":
            print(f"  survived: {r[0]} ({r[2]}): {r[3]}")
    if args.out:
        with open(args.out, "w", encoding="utf-8") as f:
            for r in results:
                f.write("\t".join(r) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
