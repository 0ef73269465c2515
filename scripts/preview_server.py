"""The loopback server of the download picture: it announces a file of
STALLED_SIZE bytes, sends half of it and then nothing more, so that the
download window stays halfway for as long as the picture takes."""
import os
from pathlib import Path

from run_e2e import HttpServer

STALLED_SIZE = 3_000_000
STALLED_NAME = "preview-download.bin"


class StalledDownload:
    """The server, for the time of a `with` block; `url` is the stalled file."""

    def __init__(self, scratch: Path):
        self.http = HttpServer(scratch)
        self.url = ""

    def __enter__(self) -> "StalledDownload":
        self.http.start()
        try:
            (self.http.root / STALLED_NAME).write_bytes(os.urandom(STALLED_SIZE))
            (self.http.root / (STALLED_NAME + ".faults")).write_text("stallbody\n")
        except BaseException:
            self.http.stop()
            raise
        self.url = "http://127.0.0.1:%d/%s" % (self.http.port, STALLED_NAME)
        return self

    def __exit__(self, *exc) -> None:
        self.http.stop()
