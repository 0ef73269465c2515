"""A publisher's branding inputs and what a packed Setup.exe shows of them
under Wine: a picture and an icon of colours that no default has, the
dialog's window as the driver saved it, and the version information as
Windows' own functions read it (version_probe.exe)."""
import json
import shutil
import struct
import subprocess
from pathlib import Path
from typing import Dict, List, Optional, Tuple

HERE = Path(__file__).resolve().parent
# Each check's outcome, in order, for the script's summary line.
results: List[bool] = []


def check(ok: bool, what: str) -> bool:
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    results.append(ok)
    return ok


PICTURE_BGR = (0x30, 0x90, 0xE0)
# Each icon image in colours of its own, the 16 pixel one a checker board:
# a scaled 32 or 48 pixel image does not look like it.
ICON_COLOURS = {16: ((0x20, 0xC0, 0x40), (0xE0, 0x20, 0x80)), 32: ((0x10, 0x10, 0xA0),) * 2,
                48: ((0xA0, 0x60, 0x10),) * 2}
VERSION = {"ProductName": "Acme Widget", "FileDescription": "Acme Widget Setup", "ProductVersion": "2.5.1",
           "FileVersion": "2.5.1", "CompanyName": "Acme Outils Soci\u00e9t\u00e9", "LegalCopyright": "\u00a9 2026 Acme Tools",
           "fixed": "2.5.1.0/2.5.1.0"}


def write_bitmap(path: Path) -> None:
    """A plain 510 x 437 24-bit picture."""
    width, height = 510, 437
    row = (bytes(PICTURE_BGR) * width).ljust((width * 3 + 3) & ~3, b"\0")
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    path.write_bytes(header + info + pixels)


def icon_pixel(size: int, x: int, y: int) -> Tuple[int, int, int]:
    """The icon image's colour (B, G, R) at (x, y), counted from the top."""
    first, second = ICON_COLOURS[size]
    return first if ((x // 4) + (y // 4)) % 2 == 0 else second


def write_icon(path: Path) -> None:
    """48, 32 and 16 pixel images, 32 bits, wholly opaque."""
    images = []
    for size in (48, 32, 16):
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = b"".join(bytes(icon_pixel(size, x, y)) + b"\xff"
                          for y in reversed(range(size)) for x in range(size))
        mask = b"\0" * (((size + 31) // 32) * 4 * size)
        images.append((size, info + pixels + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    path.write_bytes(out + b"".join(data for _, data in images))


def pack_arguments(configuration: Path, picture: Path, icon: Path) -> List[str]:
    """setup-pack's arguments for the branding that the CMake options of
    cmake_options() give."""
    return ["--configuration", str(configuration), "--picture", str(picture), "--icon", str(icon),
            "--product-name", VERSION["ProductName"], "--product-version", VERSION["ProductVersion"],
            "--company", VERSION["CompanyName"], "--copyright", VERSION["LegalCopyright"]]


def cmake_options(configuration: Path, picture: Path, icon: Path) -> List[str]:
    return ["-DSETUP_CONFIGURATION=%s" % configuration, "-DSETUP_BITMAP=%s" % picture, "-DSETUP_ICON=%s" % icon,
            "-DSETUP_PRODUCT_NAME=%s" % VERSION["ProductName"],
            "-DSETUP_PRODUCT_VERSION=%s" % VERSION["ProductVersion"],
            "-DSETUP_COMPANY=%s" % VERSION["CompanyName"], "-DSETUP_COPYRIGHT=%s" % VERSION["LegalCopyright"]]


class Bmp:
    """A 24-bit BMP as the driver's "picture" step writes it."""

    def __init__(self, path: Path):
        data = path.read_bytes()
        offset, = struct.unpack_from("<I", data, 10)
        self.width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
        if bits != 24:
            raise ValueError("%s is not a 24-bit BMP" % path)
        self.height = abs(height)
        self.bottom_up = height > 0
        self.stride = (self.width * 3 + 3) & ~3
        self.data, self.offset = data, offset

    def pixel(self, x: int, y: int) -> Tuple[int, int, int]:
        row = self.height - 1 - y if self.bottom_up else y
        at = self.offset + row * self.stride + x * 3
        return tuple(self.data[at:at + 3])

    def find_icon(self, rows: int) -> Optional[Tuple[int, int]]:
        """Where the top `rows` rows hold the 16 pixel icon image, else None."""
        corner = icon_pixel(16, 0, 0)
        for y in range(min(rows, self.height - 16)):
            for x in range(self.width - 16):
                if self.pixel(x, y) == corner and all(
                        self.pixel(x + i, y + j) == icon_pixel(16, i, j) for j in range(16) for i in range(16)):
                    return x, y
        return None


def dialog_event(log: str, label: str) -> Optional[dict]:
    for line in log.splitlines():
        event = json.loads(line)
        if event.get("step") == "read" and event.get("label") == label and "dialog" in event:
            return event["dialog"]
    return None


def check_dialog(check, log: str, picture: Path, what: str) -> None:
    """The dialog of brand-dialog.xml, its client area the packed picture and
    its caption the packed icon's 16 pixel image."""
    dialog = dialog_event(log, "packed")
    check(dialog is not None and dialog["caption"] == "Acme Widget Setup" and dialog["row_count"] == 1
          and dialog["rows"][0]["text"].startswith("Acme Runtime"),
          "%s shows its stored configuration's dialog" % what)
    if dialog is None or not picture.exists():
        check(False, "%s: the driver saved a picture of the dialog (%s)" % (what, picture))
        return
    bmp = Bmp(picture)
    # The client area is centred in the frame and ends at its bottom border.
    cw, ch = dialog["client"][2], dialog["client"][3]
    border = (bmp.width - cw) // 2
    left, top = border, bmp.height - border - ch
    points = [(left + 10, top + 10), (left + cw - 10, top + 10), (left + cw // 2, top + ch // 3)]
    seen = [bmp.pixel(x, y) for x, y in points]
    check(all(p == PICTURE_BGR for p in seen),
          "%s fills its dialog with the packed picture (BGR at %s: %s)" % (what, points, seen))
    found = bmp.find_icon(top)
    check(found is not None, "%s shows the packed icon's 16 pixel image in its caption (at %s)" % (what, found))


def read_version(wine, probe: Path, program: Path, out: Path) -> Dict[str, str]:
    """The version information as version_probe.exe reads it under Wine."""
    from run_e2e import win_path  # noqa: E402
    out.unlink(missing_ok=True)
    wine.run(["wine", str(probe), win_path(program), win_path(out)], "version_probe.out", 120)
    if not out.exists():
        return {}
    return dict(line.split("=", 1) for line in out.read_text(encoding="utf-8").splitlines() if "=" in line)


def stage(folder: Path, program: Path) -> Path:
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    shutil.copy2(program, folder / "Setup.exe")
    return folder / "Setup.exe"


def native_pack(setup_pack: Path, source: Path, out: Path, arguments: List[str]) -> subprocess.CompletedProcess:
    out.unlink(missing_ok=True)
    return subprocess.run([str(setup_pack), "--from", str(source), "--out", str(out)] + arguments,
                          capture_output=True, text=True)
