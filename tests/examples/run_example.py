#!/usr/bin/env python3
"""Stages the example medium (examples/) and installs it under Wine, as a
person would, three times over.

    python3 tests/examples/run_example.py --bin-dir build/win --work <folder>
        [--setup-check <native setup-check>] [--stage-only]

The medium is examples/medium/setup.xml with Setup.exe, the three component
programs built from examples/src (example_*_setup.exe in --bin-dir) and the
product package built with wixl from examples/product. It is staged into
<work>/medium; --stage-only stops there (for `setup-check --medium`).

Then the end-to-end harness of tests/e2e (its Wine prefix, display, driver
and case runner) runs it in a prefix of its own under <work>:
  1. first start: the dialog lists the runtime (required) and the samples
     (optional); the German language pack is left out on this English
     system and the product has no row. The user unchecks the samples and
     presses Install: the runtime and the product are installed, the samples
     are not.
  2. second start: the runtime is listed as installed, the samples are
     missing; Install installs them alone.
  3. third start: nothing listed is missing, so the dialog never waits: no
     window, no component runs again.
Besides, setup-check.exe from --bin-dir checks the staged medium under Wine,
and the native --setup-check (when given) checks it here. The product and
the registry keys are removed before and after the run.

The last line is "N passed, M failed"; the exit status is 0 only when
nothing failed. Without wine the run is skipped (exit 0), unless CI is set.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path
from typing import List

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
EXAMPLES = ROOT / "examples"
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import run_e2e  # noqa: E402
from e2e_model import Case, CaseRun, Row, View  # noqa: E402

PRODUCT_CODE = "{3E9B1C74-6A2F-4D85-9B0E-7C41D2A5F863}"
PACKAGE_NAME = "Yolvane Example.msi"
PROGRAMS = {
    "Redist/YolvaneRuntimeSetup.exe": "example_runtime_setup.exe",
    "Samples/YolvaneSamplesSetup.exe": "example_samples_setup.exe",
    "Languages/YolvaneGermanSetup.exe": "example_german_setup.exe",
}
KEYS = {
    "runtime": (r"HKLM\Software\Yolvane\Example Runtime", "Version"),
    "samples": (r"HKLM\Software\Yolvane\Example Samples", "Installed"),
    "german": (r"HKLM\Software\Yolvane\Example Languages", "German"),
}
RUNTIME = "Yolvane Example Runtime 1.2"
SAMPLES = "Yolvane Example Samples"


def log(msg: str) -> None:
    print(msg, flush=True)


def build_package(out: Path) -> None:
    """wixl in examples/product, whose files the package takes."""
    out.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["wixl", "product.wxs", "-o", str(out)], cwd=str(EXAMPLES / "product"), check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)


def stage(bin_dir: Path, work: Path) -> Path:
    medium = work / "medium"
    if medium.exists():
        shutil.rmtree(medium)
    shutil.copytree(EXAMPLES / "medium", medium)
    shutil.copy2(bin_dir / "Setup.exe", medium / "Setup.exe")
    for rel, name in PROGRAMS.items():
        (medium / rel).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(bin_dir / name, medium / rel)
    build_package(medium / PACKAGE_NAME)
    return medium


class Results:
    def __init__(self) -> None:
        self.passed = 0
        self.failed = 0

    def record(self, name: str, problems: List[str], took: float) -> None:
        if problems:
            self.failed += 1
            log("FAIL %s (%.1f s)" % (name, took))
            for p in problems:
                log(run_e2e.indent(p))
        else:
            self.passed += 1
            log("ok %s (%.1f s)" % (name, took))


# ------------------------------------------------------------------ machine state

def reg_value_present(wine: "run_e2e.Wine", key: str, name: str) -> bool:
    return wine.run(["wine", "reg", "query", key, "/v", name, "/reg:32"], "reg.out", 120) == 0


def product_file(r_prefix: str) -> Path:
    drive_c = Path(r_prefix) / "drive_c"
    for pf in ("Program Files (x86)", "Program Files"):
        p = drive_c / pf / "Yolvane Example" / "readme.txt"
        if p.exists():
            return p
    return drive_c / "Program Files (x86)" / "Yolvane Example" / "readme.txt"


def clean_machine(wine: "run_e2e.Wine") -> None:
    """No product and no component keys: the state of a fresh machine."""
    wine.run(["wine", "msiexec", "/x", PRODUCT_CODE, "/qn"], "uninstall.out", 180)
    wine.run(["wine", "reg", "delete", r"HKLM\Software\Yolvane", "/f", "/reg:32"], "reg.out", 120)


MSI_LOG = "yolvane-example.log"


def forget_package_log(r: CaseRun) -> None:
    log_file = Path(r.temp_dir) / MSI_LOG
    if log_file.exists():
        log_file.unlink()


def package_ran(expected: bool):
    """The package's msiexec log (its cmdparameters ask for one) tells
    whether Setup.exe started the package in this run."""
    def check(r: CaseRun) -> List[str]:
        log_file = Path(r.temp_dir) / MSI_LOG
        if not expected:
            return ["the package ran again (%s was written)" % log_file] if log_file.exists() else []
        if not log_file.exists():
            return ["the package did not run: no %s" % log_file]
        data = log_file.read_bytes()
        text = data.decode("utf-16-le", "replace") if data[:2] == b"\xff\xfe" else data.decode("latin-1")
        if PRODUCT_CODE.lower() not in text.lower():
            return ["the msiexec log %s does not name the product code" % log_file]
        return []
    return check


def all_of(*checks):
    def check(r: CaseRun) -> List[str]:
        return [p for c in checks for p in c(r)]
    return check


def state(wine: "run_e2e.Wine", **expected: bool):
    """A check: which components are installed afterwards (runtime, samples,
    german, product)."""
    def check(r: CaseRun) -> List[str]:
        problems = []
        for name, want in expected.items():
            if name == "product":
                have = product_file(r.prefix).exists()
            else:
                have = reg_value_present(wine, *KEYS[name])
            if have != want:
                problems.append("%s is %s afterwards, expected %s" % (
                    name, "installed" if have else "not installed", "installed" if want else "not installed"))
        return problems
    return check


# ------------------------------------------------------------------ cases

def cases(wine: "run_e2e.Wine", setup_xml: str, package: bytes) -> List[Case]:
    files = {"setup.xml": setup_xml, PACKAGE_NAME: package}
    from_bin = dict(PROGRAMS)
    runtime = "Redist/YolvaneRuntimeSetup.exe"
    samples = "Samples/YolvaneSamplesSetup.exe"
    german = "Languages/YolvaneGermanSetup.exe"
    dialog = dict(caption="Yolvane Example Setup",
                  message="Setup will install Yolvane Example and the components it needs. Click Install to go on.",
                  continue_text="Install", exit_text="Exit")
    return [
        Case("example_first_start_without_the_samples",
             files=files, from_bin=from_bin,
             script=["dialog: click-check 1", "dialog: read unchecked", "dialog: continue"],
             views=[View(rows=(Row(RUNTIME + " (required)", True, True), Row(SAMPLES, True, False)),
                         label="shown", **dialog),
                    View(rows=(Row(RUNTIME + " (required)", True, True), Row(SAMPLES, False, False)),
                         label="unchecked")],
             boxes=[], ran=[runtime], not_ran=[samples, german], prepare=forget_package_log,
             check=all_of(package_ran(True), state(wine, runtime=True, samples=False, german=False, product=True)),
             exit_code=0, timeout=120),
        Case("example_second_start_adds_the_samples",
             files=files, from_bin=from_bin,
             script=["dialog: continue"],
             views=[View(rows=(Row(RUNTIME + " [installed]", True, True), Row(SAMPLES, True, False)),
                         label="shown", **dialog)],
             boxes=[], ran=[samples], not_ran=[runtime, german], prepare=forget_package_log,
             check=all_of(package_ran(False), state(wine, runtime=True, samples=True, german=False, product=True)),
             exit_code=0, timeout=120),
        Case("example_third_start_finds_everything_installed",
             files=files, from_bin=from_bin,
             views=None, boxes=[], not_ran=[runtime, samples, german], prepare=forget_package_log,
             check=all_of(package_ran(False), state(wine, runtime=True, samples=True, german=False, product=True)),
             exit_code=0, timeout=60),
    ]


def check_with_setup_check_exe(wine: "run_e2e.Wine", bin_dir: Path, medium: Path, work: Path) -> List[str]:
    """setup-check.exe, the Windows build, on the staged medium."""
    out_name = "setup-check-exe.out"
    out_path = wine.logs / out_name
    if out_path.exists():
        out_path.unlink()
    rc = wine.run(["wine", str(bin_dir / "setup-check.exe"), "--medium", run_e2e.win_path(medium),
                   run_e2e.win_path(medium / "setup.xml")], out_name, 120)
    text = out_path.read_text(encoding="utf-8", errors="replace") if out_path.exists() else ""
    problems = []
    if rc != 0 or "0 errors, 0 warnings" not in text:
        problems.append("setup-check.exe exited with %d:\n%s" % (rc, text.strip()))
    # The same program must find a fault: a medium without the package.
    broken = work / "medium-without-package"
    if broken.exists():
        shutil.rmtree(broken)
    shutil.copytree(medium, broken)
    (broken / PACKAGE_NAME).unlink()
    out_path.unlink(missing_ok=True)
    rc = wine.run(["wine", str(bin_dir / "setup-check.exe"), "--medium", run_e2e.win_path(broken),
                   run_e2e.win_path(broken / "setup.xml")], out_name, 120)
    text = out_path.read_text(encoding="utf-8", errors="replace") if out_path.exists() else ""
    if rc != 1 or "[medium]" not in text:
        problems.append("setup-check.exe on a medium without the package exited with %d:\n%s" % (rc, text.strip()))
    shutil.rmtree(broken)
    return problems


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin-dir", required=True, type=Path)
    ap.add_argument("--work", required=True, type=Path)
    ap.add_argument("--setup-check", type=Path, help="the native setup-check, to check the staged medium")
    ap.add_argument("--stage-only", action="store_true")
    ap.add_argument("--keep-prefix", action="store_true", help="keep the Wine prefix (about 1.3 GB) for the next run")
    opts = ap.parse_args()

    bin_dir = opts.bin_dir.resolve()
    work = opts.work.resolve()
    needed = ["Setup.exe", "e2e_driver.exe", "setup-check.exe"] + sorted(set(PROGRAMS.values()))
    missing = [n for n in needed if not (bin_dir / n).is_file()]
    if missing:
        log("error: %s missing in %s" % (", ".join(missing), bin_dir))
        log("0 passed, 1 failed")
        return 1
    if shutil.which("wixl") is None:
        log("error: wixl not found (Debian package wixl)")
        log("0 passed, 1 failed")
        return 1
    work.mkdir(parents=True, exist_ok=True)
    medium = stage(bin_dir, work)
    log("staged %s" % medium)
    if opts.stage_only:
        return 0

    results = Results()
    if opts.setup_check:
        start = time.monotonic()
        p = subprocess.run([str(opts.setup_check), "--medium", str(medium), str(EXAMPLES / "medium" / "setup.xml")],
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        text = p.stdout.decode("utf-8", "replace")
        results.record("setup_check_passes_on_the_staged_medium",
                       [] if p.returncode == 0 else ["exit status %d:\n%s" % (p.returncode, text.strip())],
                       time.monotonic() - start)

    if shutil.which("wine") is None:
        if os.environ.get("CI"):
            log("FAIL: wine not found (CI is set, so this is an error)")
            results.failed += 1
        else:
            log("SKIP: wine not found")
        log("%d passed, %d failed" % (results.passed, results.failed))
        return 0 if results.failed == 0 else 1

    wine = run_e2e.Wine(work)
    http = run_e2e.HttpServer(work)
    shots = run_e2e.Screenshots(wine, work)
    setup_xml = (EXAMPLES / "medium" / "setup.xml").read_text(encoding="utf-8")
    package = (medium / PACKAGE_NAME).read_bytes()
    try:
        wine.start_display()
        t0 = time.monotonic()
        made = wine.ensure_prefix()
        log("prefix: %s in %.1f s (%s)" % ("made" if made else "reused", time.monotonic() - t0, wine.prefix))
        wine.start_server()

        start = time.monotonic()
        results.record("setup_check_exe_under_wine", check_with_setup_check_exe(wine, bin_dir, medium, work),
                       time.monotonic() - start)

        clean_machine(wine)
        for case in cases(wine, setup_xml, package):
            start = time.monotonic()
            outcome = run_e2e.run_case(case, wine, bin_dir, work, http, shots)
            results.record(case.name, outcome.problems + (outcome.notes if outcome.problems else []),
                           time.monotonic() - start)
    except (RuntimeError, subprocess.SubprocessError) as e:
        log("error: %s" % e)
        results.failed += 1
    finally:
        try:
            if wine.server_started:
                clean_machine(wine)
        except subprocess.SubprocessError:
            pass
        http.stop()
        wine.stop_server()
        wine.stop_display()
        if not opts.keep_prefix:
            wine.discard_prefix()
    log("%d passed, %d failed" % (results.passed, results.failed))
    return 0 if results.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
