"""The preview's Wine prefix: made on a display of its own, with the system
language that Setup.exe reads changed in the prefix's copy of user.exe."""
import os
import shutil
import struct
from pathlib import Path

from run_e2e import Wine

WINE_LANGUAGE = 1033


def language_note(language: int) -> str:
    if language == WINE_LANGUAGE:
        return ("This is the configuration for the system language 1033; for another language run the preview "
                "with --language N (1031 German, 1036 French, ...)")
    return "This is the configuration for the system language %d (--language); without it Wine reports 1033" % language


def user_exe_of(prefix: Path) -> Path:
    """The user.exe that a 32-bit program finds in its system folder: in a
    64-bit prefix C:\\windows\\system32 is redirected to syswow64 for it."""
    windows = prefix / "drive_c" / "windows"
    for folder in ("syswow64", "system32"):
        if (windows / folder / "user.exe").is_file():
            return windows / folder / "user.exe"
    raise RuntimeError("no user.exe in %s (syswow64 or system32)" % windows)


def with_language(data: bytes, language: int) -> bytes:
    """The file with the language word of its version resource's first
    \\VarFileInfo\\Translation entry set to `language` (the code page word is
    kept). Wine's user.exe is a 16-bit program whose version resource has
    ASCII keys and 4-byte headers; a 32-bit one has UTF-16 keys and 6-byte
    headers. Values start on a 4-byte boundary from the resource's start."""
    for encoding, header in (("ascii", 4), ("utf-16-le", 6)):
        root, key = "VS_VERSION_INFO\0".encode(encoding), "Translation\0".encode(encoding)
        if data.count(root) != 1 or data.count(key) != 1:
            continue
        start, at = data.index(root) - header, data.index(key) - header
        length, value_length = struct.unpack_from("<HH", data, at)
        value = start + ((at + header + len(key) - start + 3) & ~3)
        if value_length < 4 or value + 4 > at + length or value + 4 > len(data):
            continue
        return data[:value] + struct.pack("<H", language) + data[value + 2:]
    raise RuntimeError("user.exe carries no translation entry that the preview knows how to change")


def set_system_language(prefix: Path, language: int) -> Path:
    """Makes the prefix's user.exe name `language`. The changed copy is
    written beside it and then takes its name, so that a file the prefix
    shares with Wine's installation (a link) is never written through."""
    target = user_exe_of(prefix)
    changed = target.with_name("user.exe.language")
    changed.write_bytes(with_language(target.read_bytes(), language))
    shutil.copymode(target, changed)
    os.replace(changed, target)
    return target


def prepare_prefix(scratch: Path, language: int) -> Path:
    """The prefix that drive_once then finds complete and takes as it is, made
    on a display of its own, with the system language changed."""
    wine = Wine(scratch / "wine")
    wine.display = ""
    try:
        try:
            wine.start_display()
            wine.ensure_prefix()
        finally:
            wine.stop_display()
        return set_system_language(wine.prefix, language)
    except BaseException:
        wine.discard_prefix()
        raise


def discard_prefix(scratch: Path) -> None:
    Wine(scratch / "wine").discard_prefix()
