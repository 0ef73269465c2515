#!/usr/bin/env python3
"""Stages a demo medium for the stored default configuration and runs
Setup.exe on it under Wine: Setup.exe beside "Install Quarn Doduv
Belmaris.msi", no setup.xml. Windows Installer is present in Wine, so the
dialog starts the run by itself and the package installs through msiexec.

usage: demo.py BUILD_DIR
"""
import shutil
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(HERE / "tests" / "e2e"))
from run_e2e import Wine, win_path  # noqa: E402

PACKAGE = "Install Quarn Doduv Belmaris.msi"


def main() -> int:
    build = Path(sys.argv[1]).resolve()
    work = build / "demo"
    medium = work / "medium"
    shutil.rmtree(medium, ignore_errors=True)
    medium.mkdir(parents=True)
    shutil.copy(build / "win" / "Setup.exe", medium / "Setup.exe")
    subprocess.run(["wixl", str(HERE / "demo" / "product.wxs"), "-o", str(medium / PACKAGE)], check=True,
                   cwd=HERE / "demo")
    print("demo medium: %s" % medium)

    wine = Wine(work)
    try:
        wine.start_display()
        if wine.ensure_prefix():
            print("made the Wine prefix %s" % wine.prefix)
        wine.start_server()
        installed = wine.prefix / "drive_c" / "Program Files (x86)" / "Quarn Doduv Belmaris" / "readme.txt"
        if installed.exists():
            # Installed by an earlier demo: remove it so that this run shows
            # the installation again.
            wine.run(["wine", "msiexec", "/x", win_path(medium / PACKAGE), "/qn"], "demo.out", 300)
        driver_log = work / "driver.log"
        script = work / "script.txt"
        script.write_text("")
        started = time.monotonic()
        wine.run(["wine", str(build / "win" / "e2e_driver.exe"), "--exe", win_path(medium / "Setup.exe"),
                  "--cwd", win_path(medium), "--script", win_path(script), "--log", win_path(driver_log),
                  "--timeout", "300"], "demo.out", 400)
        took = time.monotonic() - started
        print("Setup.exe ran for %.1f s; what it showed:" % took)
        for line in driver_log.read_text(encoding="utf-8").splitlines():
            print("  " + line)
        if installed.exists():
            print("Quarn Doduv Belmaris is installed: %s" % installed)
            return 0
        print("the package did not install (see %s)" % wine.logs)
        return 1
    finally:
        wine.stop_server()
        wine.stop_display()


if __name__ == "__main__":
    sys.exit(main())
