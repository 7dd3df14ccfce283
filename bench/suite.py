#!/usr/bin/env python3
"""Benchmarks of Sonalbury CD-MP3 against the tools a user would pick instead.

Run through bench/run, which installs the peer tools and builds the programs first.
Everything is measured side by side in one run, several times, and reported as medians
and ratios in one table (format described in README.md, "Benchmarks").
"""

import argparse
import datetime
import hashlib
import os
import shutil
import signal
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# The disc: 18 tracks of music-like audio, 2-second gaps, 74:00 in all (333 000 frames).
FULL_TRACKS_S = [247, 198, 305, 221, 262, 189, 334, 240, 276, 214, 293, 230, 258, 205, 318,
                 236, 269, 311]
PREGAP = 150
FULL_FRAMES = 74 * 60 * 75
QUICK_TRACKS = [1800, 2250, 2700, 2250]  # four tracks, two minutes
STARTUP_LAUNCHES = 5  # start-up launches per repetition, each way
IDLE_SECONDS = 3
# A run during which other processes kept more than this share of a core busy is marked as
# disturbed: its time says more about the machine than about the program.
DISTURBED_CORES = 0.25


def busy_seconds():
    """CPU time the whole machine has spent busy (steal included) since boot."""
    with open("/proc/stat") as stat:
        fields = [int(v) for v in stat.readline().split()[1:]]
    idle = fields[3] + (fields[4] if len(fields) > 4 else 0)
    return (sum(fields[:8]) - idle) / os.sysconf("SC_CLK_TCK")

# The settings of a real user: stereo, 320 kbit/s CBR, high quality, MP3 only.
SETTINGS_INI = "[Parametres]\nMode=0\nBitrate=320\nHauteQualite=-1\nTypeEncodage=0\n"
ARTIST = "Sonalbury"
ALBUM = "titre"
COMMENT = "Encodé par Sonalbury CD-MP3"
LAME_OPTIONS = ["-b", "320", "--cbr", "-q", "2", "-m", "s"]


def full_tracks():
    frames = [s * 75 for s in FULL_TRACKS_S]
    # The last track takes up whatever makes the disc exactly 74:00 with its gaps.
    frames[-1] = FULL_FRAMES - PREGAP * (len(frames) - 1) - sum(frames[:-1])
    return frames


class RunError(Exception):
    pass


class Bench:
    def __init__(self, args):
        self.args = args
        self.build = Path(args.build).resolve()
        self.work = Path(args.work).resolve() if args.work else self.build / "bench-work"
        self.reps = args.reps
        self.only = set(args.only.split(",")) if args.only else None
        self.samples = {}  # measure name -> list of values
        self.failures = {}  # measure name -> first error text
        self.disturbed = set()  # measures with at least one disturbed run
        self.log = None

    # ----- set-up -------------------------------------------------------------------------

    def prepare(self):
        if self.work.exists():
            shutil.rmtree(self.work)
        self.work.mkdir(parents=True)
        self.logs = self.work / "logs"
        self.logs.mkdir()
        self.log = open(self.work / "runs.tsv", "w", encoding="utf-8")
        self.log.write("rep\tmeasure\twall_s\tcpu_s\tmaxrss_kib\tload1\tothers_cores\n")

        home = self.work / "home"
        self.env = dict(os.environ)
        for name, sub in (("HOME", ""), ("XDG_CONFIG_HOME", ".config"),
                          ("XDG_CACHE_HOME", ".cache"), ("XDG_DATA_HOME", ".local/share"),
                          ("XDG_RUNTIME_DIR", "run")):
            path = home / sub
            path.mkdir(parents=True, exist_ok=True)
            self.env[name] = str(path)
        os.chmod(home / "run", 0o700)
        self.env["QT_QPA_PLATFORM"] = "offscreen"
        self.env["QT_MEDIA_BACKEND"] = "gstreamer"
        self.env["LC_ALL"] = "C.UTF-8"
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        # The program keeps its settings under its executable's name and writes its
        # music folder beside itself: it runs from a copy in the work folder.
        self.app = "sonalbury-cdmp3"
        (home / ".config" / (self.app + ".ini")).write_text(SETTINGS_INI, encoding="utf-8")
        self.prog_dir = self.work / "prog"
        self.prog_dir.mkdir()
        self.prog = self.prog_dir / self.app
        shutil.copy2(self.build / "src/shell/sonalbury-cdmp3", self.prog)
        self.music = self.prog_dir / "musiques"
        self.window_dir = self.work / "window"
        self.window_dir.mkdir()

        self.tool = {name: self.build / "bench" / name
                     for name in ("bench-extract", "bench-encode", "bench-window", "bench-startup")}
        self.demo = self.build / "demo/demo.cue"
        self.make_disc()

    def make_disc(self):
        tracks = QUICK_TRACKS if self.args.quick else full_tracks()
        params = ["--audio", "music", "--tracks", ",".join(map(str, tracks)),
                  "--pregap", str(PREGAP)]
        maker = str(self.build / "tools/make-disc-image")
        # The key: the parameters, and what the maker makes of a tiny disc, so that a new
        # kind of audio gets a new image while a rewrite of the maker's code does not.
        probe = self.work / "probe"
        probe.mkdir()
        subprocess.run([maker, "--audio", "music", "--tracks", "150,75", "--pregap", "150",
                        str(probe / "probe")], check=True, stdout=subprocess.DEVNULL)
        key = hashlib.sha256(" ".join(params).encode())
        key.update((probe / "probe.bin").read_bytes())
        key.update((probe / "probe.cue").read_bytes())
        shutil.rmtree(probe)
        cache_root = self.build / "bench-cache"
        cache = cache_root / key.hexdigest()[:16]
        self.cue = cache / "disc.cue"
        self.bin = cache / "disc.bin"
        self.tracks = tracks
        if self.cue.is_file() and self.bin.is_file():
            print(f"# disc image: {self.cue} (cached)", flush=True)
            return
        print("# writing the disc image (cached for later runs)...", flush=True)
        staging = cache.with_name(cache.name + ".tmp")
        shutil.rmtree(staging, ignore_errors=True)
        staging.mkdir(parents=True)
        subprocess.run([maker, *params, str(staging / "disc")], check=True,
                       stdout=subprocess.DEVNULL)
        (staging / "parameters").write_text(" ".join(params) + "\n", encoding="utf-8")
        # An image made by an earlier maker with the same parameters is of no more use.
        for old in cache_root.iterdir():
            marker = old / "parameters"
            if old not in (cache, staging) and marker.is_file() \
                    and marker.read_text().split() == params:
                shutil.rmtree(old, ignore_errors=True)
        shutil.rmtree(cache, ignore_errors=True)
        staging.rename(cache)
        print(f"# disc image: {self.cue}", flush=True)

    # ----- running and recording ----------------------------------------------------------

    def run(self, rep, measure, command, cwd=None, ok_codes=(0,), stdout=None):
        """Runs one command; returns its wall time [s], CPU time [s] and peak memory [KiB]."""
        os.sync()  # earlier writes are flushed outside the measure
        load = os.getloadavg()[0]  # other work on the machine, to judge a noisy figure
        log_path = self.logs / f"{measure}.{rep}.log"
        rss_path = self.logs / f"{measure}.{rep}.rss"
        # GNU time reports the largest resident set of the command and its children; the
        # kernel's own figure for a child of this script would start at the script's size.
        timed = ["/usr/bin/time", "-f", "%M", "-o", str(rss_path), *command]
        with open(log_path, "w") as log:
            busy_before = busy_seconds()
            start = time.perf_counter()
            proc = subprocess.Popen(timed, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=stdout if stdout is not None else log, stderr=log)
            _, status, usage = os.wait4(proc.pid, 0)
            wall = time.perf_counter() - start
            busy = busy_seconds() - busy_before
        code = os.waitstatus_to_exitcode(status)
        cpu = usage.ru_utime + usage.ru_stime
        # Cores that other processes kept busy meanwhile, on average.
        others = max(0.0, busy - cpu) / wall if wall > 0 else 0.0
        # Below a fifth of a second the kernel's 10 ms ticks make that figure meaningless.
        if others > DISTURBED_CORES and wall >= 0.2:
            self.disturbed.add(measure)
        rss_lines = [line for line in rss_path.read_text().splitlines() if line.strip().isdigit()]
        rss = int(rss_lines[-1]) if rss_lines else 0
        self.log.write(f"{rep}\t{measure}\t{wall:.3f}\t{cpu:.3f}\t{rss}\t{load:.2f}\t"
                       f"{others:.2f}\n")
        self.log.flush()
        if code not in ok_codes:
            raise RunError(f"{measure}: exit status {code}, see {log_path}")
        return wall, cpu, rss

    def add(self, measure, value):
        self.samples.setdefault(measure, []).append(value)

    def attempt(self, measure, body):
        """Runs a measure; a failure is reported in the table instead of ending the suite."""
        try:
            body()
        except (RunError, OSError, ValueError) as error:
            self.failures.setdefault(measure, str(error))
            print(f"# {measure} failed: {error}", file=sys.stderr, flush=True)

    def wanted(self, row):
        return self.only is None or row in self.only

    @staticmethod
    def reset(path):
        shutil.rmtree(path, ignore_errors=True)
        path.mkdir(parents=True)

    @staticmethod
    def ordered(rep, pairs):
        # Ours first on odd repetitions, peers first on even ones: neither side always
        # gets the warm caches or the quiet moment.
        return pairs if rep % 2 == 1 else list(reversed(pairs))

    def check_mp3s(self, folder, measure):
        count = len(list(Path(folder).glob("*.mp3")))
        if count != len(self.tracks):
            raise RunError(f"{measure}: {count} MP3 files instead of {len(self.tracks)}")

    # ----- the rows -----------------------------------------------------------------------

    def extraction(self, rep):
        out = self.work / "extract"
        keep = self.work / "wav"  # the encoding input: our own paranoia extraction

        def ours(mode):
            def body():
                self.reset(out)
                extra = ["--paranoia"] if mode == "paranoia" else []
                wall, _, _ = self.run(rep, f"extract.ours.{mode}",
                                      [str(self.tool["bench-extract"]), *extra, str(self.cue),
                                       str(out)])
                self.add(f"extract.ours.{mode}", wall)
                if mode == "paranoia" and not keep.exists():
                    out.rename(keep)
            return body

        def cdparanoia(mode):
            def body():
                self.reset(out)
                extra = ["-Z"] if mode == "raw" else []
                wall, _, _ = self.run(rep, f"extract.cdparanoia.{mode}",
                                      ["cd-paranoia", "-q", *extra, "-d", str(self.cue), "-B"],
                                      cwd=out)
                if len(list(out.glob("*.wav"))) != len(self.tracks):
                    raise RunError("cd-paranoia wrote too few WAV files")
                self.add(f"extract.cdparanoia.{mode}", wall)
            return body

        def copy():
            self.reset(out)
            wall, _, _ = self.run(rep, "extract.cp", ["cp", str(self.bin), str(out / "disc.bin")])
            self.add("extract.cp", wall)

        steps = self.ordered(rep, [("extract.ours.paranoia", ours("paranoia")),
                                   ("extract.cdparanoia.paranoia", cdparanoia("paranoia")),
                                   ("extract.ours.raw", ours("raw")),
                                   ("extract.cdparanoia.raw", cdparanoia("raw")),
                                   ("extract.cp", copy)])
        for name, body in steps:
            self.attempt(name, body)
        shutil.rmtree(out, ignore_errors=True)

    def wav_inputs(self):
        wavs = sorted((self.work / "wav").glob("*.wav"))
        if len(wavs) != len(self.tracks):
            # Row 1 was skipped or failed: make the WAV files once, outside any measure.
            self.reset(self.work / "wav")
            subprocess.run([str(self.tool["bench-extract"]), "--paranoia", str(self.cue),
                            str(self.work / "wav")], check=True, stdout=subprocess.DEVNULL,
                           env=self.env)
            wavs = sorted((self.work / "wav").glob("*.wav"))
        return wavs

    def encoding(self, rep):
        wavs = self.wav_inputs()
        out = self.work / "mp3"
        tags = ["--ta", ARTIST, "--tl", ALBUM, "--tc", COMMENT]
        lame_loop = " ".join([
            'for f in "$@"; do b=$(basename "$f" .wav);',
            "lame --quiet", *LAME_OPTIONS,
            '--tt "$b"', " ".join(f"{o} '{v}'" for o, v in zip(tags[::2], tags[1::2])),
            f'"$f" "{out}/$b.mp3" || exit 1; done'])
        ffmpeg_loop = " ".join([
            'for f in "$@"; do b=$(basename "$f" .wav);',
            "ffmpeg -nostdin -hide_banner -loglevel error -y -i \"$f\"",
            "-c:a libmp3lame -b:a 320k -compression_level 2",
            '-metadata title="$b"', f"-metadata artist='{ARTIST}'",
            f"-metadata album='{ALBUM}'", f"-metadata comment='{COMMENT}'",
            f'"{out}/$b.mp3" || exit 1; done'])

        def measure(name, command):
            def body():
                self.reset(out)
                wall, cpu, _ = self.run(rep, name, command)
                self.check_mp3s(out, name)
                self.add(name, wall)
                self.add(name + ".cpu", cpu)
            return body

        steps = self.ordered(rep, [
            ("encode.ours", measure("encode.ours", [str(self.tool["bench-encode"]), str(out),
                                                    *map(str, wavs)])),
            ("encode.lame", measure("encode.lame",
                                    ["/bin/bash", "-c", lame_loop, "lame-loop", *map(str, wavs)])),
            ("encode.ffmpeg", measure("encode.ffmpeg",
                                      ["/bin/bash", "-c", ffmpeg_loop, "ffmpeg-loop",
                                       *map(str, wavs)])),
        ])
        for name, body in steps:
            self.attempt(name, body)
        shutil.rmtree(out, ignore_errors=True)

    def pipeline_script(self, jobs):
        # What a user would script: rip every track with cd-paranoia, then lame each file
        # into the same tagged MP3 and remove the WAV file; with jobs > 1, xargs runs that
        # many lame at once, as the parallel option of the usual shell rippers does.
        encoder = self.work / "pipeline-encode-track"
        if not encoder.exists():
            encoder.write_text(
                "#!/bin/bash\n"
                "# track07.cdda.wav -> \"Piste 7.mp3\", then the WAV file goes.\n"
                'f=$1; n=${f#track}; n=$((10#${n%%.*}))\n'
                f"lame --quiet {' '.join(LAME_OPTIONS)} --tt \"Piste $n\" --ta '{ARTIST}' "
                f"--tl '{ALBUM}' --tc '{COMMENT}' \"$f\" \"Piste $n.mp3\" && rm \"$f\"\n",
                encoding="utf-8")
            encoder.chmod(0o755)
        rip = f"cd-paranoia -q -d '{self.cue}' -B"
        if jobs == 1:
            return f"set -e; {rip}; for f in track*.cdda.wav; do '{encoder}' \"$f\"; done"
        return (f"set -e -o pipefail; {rip}; "
                f"printf '%s\\0' track*.cdda.wav | xargs -0 -n 1 -P {jobs} '{encoder}'")

    def headless(self, rep):
        def ours(jobs):
            name = f"headless.ours.jobs{jobs}"

            def body():
                self.reset(self.music)
                wall, cpu, rss = self.run(rep, name, [str(self.prog), "--image", str(self.cue),
                                                      "--convert", "--jobs", str(jobs)])
                self.check_mp3s(self.music, name)
                self.add(name, wall)
                self.add(name + ".cpu", cpu)
                self.add(f"memory.headless.jobs{jobs}", rss)
            return body

        def pipeline(jobs):
            name = f"headless.pipeline.jobs{jobs}"
            folder = self.work / "pipeline"

            def body():
                self.reset(folder)
                wall, cpu, rss = self.run(rep, name,
                                          ["/bin/bash", "-c", self.pipeline_script(jobs)],
                                          cwd=folder)
                self.check_mp3s(folder, name)
                self.add(name, wall)
                self.add(name + ".cpu", cpu)
                self.add(f"memory.pipeline.jobs{jobs}", rss)
            return body

        steps = self.ordered(rep, [("headless.ours.jobs1", ours(1)),
                                   ("headless.pipeline.jobs1", pipeline(1)),
                                   ("headless.ours.jobs2", ours(2)),
                                   ("headless.pipeline.jobs2", pipeline(2))])
        for name, body in steps:
            self.attempt(name, body)
        shutil.rmtree(self.work / "pipeline", ignore_errors=True)
        shutil.rmtree(self.music, ignore_errors=True)

    def window_idle(self, rep):
        def body():
            # The real program on the demo disc, left idle, then stopped as a session
            # manager would stop it.
            _, _, rss = self.run(rep, "memory.window",
                                 ["timeout", "-s", "TERM", str(IDLE_SECONDS), str(self.prog),
                                  "--image", str(self.demo)], ok_codes=(124, 0))
            self.add("memory.window", rss)
        self.attempt("memory.window", body)

    def window_batches(self, rep):
        """The window converting the whole disc offscreen: with one job per core (row 5's
        interface-timer lateness, row 7) and, for row 7, with one job."""
        def batch(name, extra):
            def body():
                self.reset(self.window_dir)
                result = self.logs / f"{name}.{rep}.out"
                with open(result, "w") as out:
                    self.run(rep, name,
                             [str(self.tool["bench-window"]), *extra, str(self.cue),
                              str(self.window_dir), self.app], stdout=out)
                text = result.read_text(encoding="utf-8").strip()
                numbers, _, messages = text.partition(" messages=")
                fields = dict(part.split("=", 1) for part in numbers.split())
                if int(fields["mp3_files"]) != len(self.tracks) or messages != "Rip du CD terminé":
                    raise RunError(f"{name}: {fields['mp3_files']} MP3 files, "
                                   f"messages: {messages}")
                # The batch alone, from the click to the closing message answered.
                self.add(name + ".seconds", float(fields["seconds"]))
                if name == "window.batch":
                    self.add("window.max_late", float(fields["max_late_ms"]))
                    self.add("window.p99_late", float(fields["p99_late_ms"]))
            return body

        steps = [("window.batch", batch("window.batch", []))]
        if self.wanted("7"):
            steps.append(("window.jobs1", batch("window.jobs1", ["--jobs", "1"])))
        for name, body in self.ordered(rep, steps):
            self.attempt(name, body)

    def startup(self, rep):
        def launch(name, first_arg):
            def body():
                result = self.logs / f"{name}.{rep}.out"
                with open(result, "a") as out:
                    self.run(rep, name, [str(self.tool["bench-startup"]), first_arg,
                                         str(self.window_dir), self.app], stdout=out)
                last = result.read_text().strip().splitlines()[-1]
                fields = dict(part.split("=", 1) for part in last.split())
                self.add(name, float(fields["startup_ms"]))
            return body

        self.window_dir.mkdir(exist_ok=True)
        for _ in range(STARTUP_LAUNCHES):
            for name, body in self.ordered(rep, [("startup.disc", launch("startup.disc", str(self.demo))),
                                                 ("startup.nodisc", launch("startup.nodisc", "--no-disc"))]):
                self.attempt(name, body)

    def levelling(self, rep):
        """Row 8: the conversion with equal loudness and the silence cut, against without."""
        def ours(name, options):
            def body():
                self.reset(self.music)
                wall, cpu, rss = self.run(rep, name, [str(self.prog), "--image", str(self.cue),
                                                      "--convert", "--jobs", "1", *options])
                self.check_mp3s(self.music, name)
                self.add(name, cpu)
            return body

        steps = [("level.on", ours("level.on", ["--volume-egal", "--couper-silence"]))]
        # Row 3 converts without the options at one job already: its runs are the other side.
        if not self.wanted("3"):
            steps.append(("level.off", ours("level.off", [])))
        for name, body in self.ordered(rep, steps):
            self.attempt(name, body)
        shutil.rmtree(self.music, ignore_errors=True)

    def measure_all(self):
        for rep in range(1, self.reps + 1):
            print(f"# repetition {rep} of {self.reps}", flush=True)
            if self.wanted("1"):
                self.extraction(rep)
            if self.wanted("2"):
                self.encoding(rep)
            if self.wanted("3") or self.wanted("4"):
                self.headless(rep)
            if self.wanted("4"):
                self.window_idle(rep)
            if self.wanted("5") or self.wanted("7"):
                self.window_batches(rep)
            if self.wanted("6"):
                self.startup(rep)
            if self.wanted("8"):
                self.levelling(rep)

    # ----- the table ----------------------------------------------------------------------

    def median(self, name):
        values = self.samples.get(name)
        return statistics.median(values) if values else None

    def table(self):
        mb = self.bin.stat().st_size / 1e6  # every sector of the image is extracted
        rows = []

        disturbed_rows = []

        def row(number, measure, ours, peer, target=None, better="lower", fmt="{:.2f}",
                ratio=True, failed=(), timed=True):
            err = next((self.failures[f] for f in failed if f in self.failures), None)
            if timed and any(f in self.disturbed for f in failed):
                disturbed_rows.append(number)
            cell = lambda v: "-" if v is None else fmt.format(v)
            r = ours / peer if ratio and ours is not None and peer else None
            if err is not None or ours is None:
                verdict = "ERROR"
            elif target is None:
                verdict = "info"
            else:
                kind, limit = target
                value = r if kind == "ratio" else ours
                ok = value <= limit if better == "lower" else value >= limit
                if kind == "below":
                    ok = value < limit
                verdict = "PASS" if ok else "MISS"
            if target is None:
                target_text = "-"
            else:
                kind, limit = target
                target_text = {"ratio": f"<= {limit:.2f}x", "max": f"<= {limit:g}",
                               "below": f"< {limit:g}"}[kind]
            rows.append((number, measure, cell(ours), cell(peer),
                         "-" if r is None else f"{r:.3f}", target_text, verdict))

        m = self.median
        speed = lambda name: mb / m(name) if m(name) else None
        mib = lambda name: m(name) / 1024 if m(name) is not None else None
        worst = lambda name: max(self.samples[name]) if self.samples.get(name) else None

        if self.wanted("1"):
            row("1a", "extraction with paranoia vs cd-paranoia -B [s]",
                m("extract.ours.paranoia"), m("extract.cdparanoia.paranoia"), ("ratio", 1.2),
                failed=("extract.ours.paranoia", "extract.cdparanoia.paranoia"))
            row("1b", "extraction raw vs cd-paranoia -Z -B [s]",
                m("extract.ours.raw"), m("extract.cdparanoia.raw"),
                failed=("extract.ours.raw", "extract.cdparanoia.raw"))
            row("1c", "extraction with paranoia vs cp of the .bin [MB/s]",
                speed("extract.ours.paranoia"), speed("extract.cp"), fmt="{:.1f}",
                failed=("extract.ours.paranoia", "extract.cp"))
            row("1d", "extraction raw vs cp of the .bin [MB/s]",
                speed("extract.ours.raw"), speed("extract.cp"), fmt="{:.1f}",
                failed=("extract.ours.raw", "extract.cp"))
        if self.wanted("2"):
            row("2a", "encoding, LameEncoder vs lame [s]", m("encode.ours"), m("encode.lame"),
                ("ratio", 1.05), failed=("encode.ours", "encode.lame"))
            row("2b", "encoding, LameEncoder vs ffmpeg libmp3lame [s]", m("encode.ours"),
                m("encode.ffmpeg"), failed=("encode.ours", "encode.ffmpeg"))
            row("2c", "encoding CPU time, LameEncoder vs lame [s]", m("encode.ours.cpu"),
                m("encode.lame.cpu"), failed=("encode.ours", "encode.lame"))
        if self.wanted("3"):
            row("3a", "headless --jobs 1 vs sequential pipeline [s]", m("headless.ours.jobs1"),
                m("headless.pipeline.jobs1"), ("ratio", 1.05),
                failed=("headless.ours.jobs1", "headless.pipeline.jobs1"))
            row("3b", "headless --jobs 2 vs sequential pipeline [s]", m("headless.ours.jobs2"),
                m("headless.pipeline.jobs1"), ("ratio", 0.6),
                failed=("headless.ours.jobs2", "headless.pipeline.jobs1"))
            row("3c", "headless --jobs 2 vs two-job pipeline [s]", m("headless.ours.jobs2"),
                m("headless.pipeline.jobs2"), ("ratio", 0.9),
                failed=("headless.ours.jobs2", "headless.pipeline.jobs2"))
            row("3d", "headless --jobs 1 CPU time vs sequential pipeline [s]",
                m("headless.ours.jobs1.cpu"), m("headless.pipeline.jobs1.cpu"),
                failed=("headless.ours.jobs1", "headless.pipeline.jobs1"))
        if self.wanted("4"):
            row("4a", "peak memory, headless --jobs 1 vs sequential pipeline [MiB]",
                mib("memory.headless.jobs1"), mib("memory.pipeline.jobs1"), ("below", 64),
                fmt="{:.1f}", failed=("headless.ours.jobs1",), timed=False)
            row("4b", "peak memory, headless --jobs 2 vs two-job pipeline [MiB]",
                mib("memory.headless.jobs2"), mib("memory.pipeline.jobs2"), ("below", 64),
                fmt="{:.1f}", failed=("headless.ours.jobs2",), timed=False)
            row("4c", "peak memory, window idle on the demo disc [MiB]", mib("memory.window"),
                None, ("below", 120), fmt="{:.1f}", ratio=False, failed=("memory.window",),
                timed=False)
        if self.wanted("5"):
            row("5", f"longest interface-timer lateness in a window batch, worst of {self.reps} [ms]",
                worst("window.max_late"), None, ("max", 50), fmt="{:.1f}", ratio=False,
                failed=("window.batch",))
        if self.wanted("6"):
            row("6", "start-up to window with track list vs without disc [ms]",
                m("startup.disc"), m("startup.nodisc"), ("below", 500), fmt="{:.1f}",
                failed=("startup.disc", "startup.nodisc"))
        if self.wanted("7"):
            row("7", "window batch, all cores vs one job [s]", m("window.batch.seconds"),
                m("window.jobs1.seconds"), ("ratio", 0.6), failed=("window.batch", "window.jobs1"))
        if self.wanted("8"):
            off, off_cpu = (("headless.ours.jobs1", "headless.ours.jobs1.cpu") if self.wanted("3")
                            else ("level.off", "level.off"))
            row("8", "headless --jobs 1 CPU time, equal loudness and silence cut vs without [s]",
                m("level.on"), m(off_cpu), ("ratio", 1.05), failed=("level.on", off))
        return rows, disturbed_rows

    def print_table(self, started, load_before):
        rows, disturbed_rows = self.table()
        commit = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"],
                                capture_output=True, text=True).stdout.strip() or "unknown"
        dirty = subprocess.run(["git", "-C", str(ROOT), "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True).stdout.strip()
        frames = sum(self.tracks) + PREGAP * (len(self.tracks) - 1)
        lines = [
            f"# sonalbury-bench 1 | commit {commit}{'+' if dirty else ''} | "
            f"{datetime.datetime.now().strftime('%Y-%m-%d %H:%M')} | {os.cpu_count()} cores | "
            f"disc {len(self.tracks)} tracks {frames // 4500}:{frames // 75 % 60:02d} | "
            f"repetitions {self.reps} | {time.time() - started:.0f} s | "
            f"load {load_before:.1f} -> {os.getloadavg()[0]:.1f}",
        ]
        header = ("row", "measure", "ours", "peer", "ratio", "target", "verdict")
        widths = [max(len(str(r[i])) for r in [header, *rows]) for i in range(len(header))]
        fmt_line = lambda cells: "| " + " | ".join(
            str(c).ljust(w) if i < 2 else str(c).rjust(w) if i < 6 else str(c).ljust(w)
            for i, (c, w) in enumerate(zip(cells, widths))) + " |"
        lines.append(fmt_line(header))
        lines.append("|" + "|".join("-" * (w + 2) for w in widths) + "|")
        lines.extend(fmt_line(r) for r in rows)
        text = "\n".join(lines) + "\n"
        for name, error in self.failures.items():
            text += f"# error in {name}: {error}\n"
        if disturbed_rows:
            text += (f"# disturbed: {' '.join(disturbed_rows)} (other processes kept more than "
                     f"{DISTURBED_CORES} of a core busy during some of their runs: see runs.tsv)\n")
        print()
        print(text, end="", flush=True)
        (self.work / "table.md").write_text(text, encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(
        prog="bench/run",
        description="Benchmarks of Sonalbury CD-MP3 against cd-paranoia, lame and ffmpeg.")
    parser.add_argument("--reps", type=int, default=3, help="repetitions (default 3)")
    parser.add_argument("--quick", action="store_true",
                        help="a two-minute, four-track disc: a smoke run")
    parser.add_argument("--only", help="comma-separated rows to run, e.g. 1,2 (default all)")
    parser.add_argument("--build", default=str(ROOT / "build-bench"), help=argparse.SUPPRESS)
    parser.add_argument("--work", help="work folder (default BUILD/bench-work)")
    args = parser.parse_args()
    if args.reps < 1:
        parser.error("--reps must be at least 1")
    started = time.time()
    load_before = os.getloadavg()[0]
    bench = Bench(args)
    bench.prepare()
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    bench.measure_all()
    bench.print_table(started, load_before)
    return 1 if bench.failures else 0


if __name__ == "__main__":
    sys.exit(main())
