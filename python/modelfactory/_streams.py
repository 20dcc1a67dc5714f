"""Binary file objects and "-" (standard input or output) where the library takes a path.

Sequence archives are read as the stream delivers them: a thread copies the file object into a
pipe whose other end the library reads with the GIL released. Whole-file formats, opening and
saving go through a private temporary file, removed on every way out.
"""
import builtins
import io
import os
import shutil
import sys
import tempfile
import threading

from . import _core

_CHUNK = 1 << 16


def is_stream(source):
    """True for "-" and for file objects; False for paths (str, bytes, os.PathLike)."""
    if isinstance(source, str):
        return source == "-"
    if isinstance(source, (bytes, os.PathLike)):
        return False
    return hasattr(source, "read") or hasattr(source, "write")


def _name(handle):
    name = getattr(handle, "name", None)
    return os.fsdecode(name) if isinstance(name, (str, bytes)) else "<%s>" % type(handle).__name__


def _require_binary(handle, mode):
    if isinstance(handle, io.TextIOBase):
        raise TypeError("a binary file object is needed (opened '%sb'), not a text one" % mode)


class _Feeder:
    """Copies a binary file object into the write end of a pipe, on a thread of its own."""

    def __init__(self, handle, fd):
        self._handle = handle
        self._fd = fd
        self._error = None
        self._thread = threading.Thread(target=self._run, name="modelfactory-stream", daemon=True)
        self._thread.start()

    def _run(self):
        try:
            # read1 hands on what a pipe or terminal has now, rather than waiting for a full chunk.
            read = getattr(self._handle, "read1", None) or self._handle.read
            while True:
                chunk = read(_CHUNK)
                if not chunk:
                    break
                if not isinstance(chunk, (bytes, bytearray, memoryview)):
                    raise TypeError("a binary file object is needed, not one whose read() gives %s"
                                    % type(chunk).__name__)
                view = memoryview(chunk)
                while view:
                    view = view[os.write(self._fd, view):]
        except BrokenPipeError:
            pass  # the reading side stopped: nothing more is wanted
        except BaseException as error:  # handed to the thread that iterates
            self._error = error
        finally:
            os.close(self._fd)

    def check(self):
        """Waits for the thread (the reading side has let go of the pipe) and raises what it met."""
        self._thread.join()
        if self._error is not None:
            error, self._error = self._error, None
            raise error


def iterate(source, format, records):
    """A model (records: sequence) iterator over a binary file object, or standard input for "-"."""
    if format is not None and not isinstance(format, str):
        raise TypeError("format must be a str or None, not %s" % type(format).__name__)
    if isinstance(source, str):
        return _core._iterate_descriptor(os.dup(0), "-", format, records, None)
    _require_binary(source, "r")
    read_end, write_end = os.pipe()
    try:
        feeder = _Feeder(source, write_end)
    except BaseException:
        os.close(read_end)
        os.close(write_end)
        raise
    return _core._iterate_descriptor(read_end, _name(source), format, records, feeder.check)


def open(source, type, format):
    """The model a binary file object (or standard input, "-") holds, read through a temporary file."""
    handle = sys.stdin.buffer if isinstance(source, str) else source
    _require_binary(handle, "r")
    name = "-" if isinstance(source, str) else _name(source)
    with tempfile.TemporaryDirectory(prefix="modelfactory-") as folder:
        path = os.path.join(folder, "stream")
        with builtins.open(path, "wb") as spool:
            shutil.copyfileobj(handle, spool, _CHUNK)
        model = _core.open(path, type, format)
    model.url = name
    return model


def save(model, target, format):
    """Writes the model to a binary file object (or standard output, "-") in the named format."""
    if format is None:
        raise ValueError("saving to a file object or to '-' needs a format name (see formats())")
    handle = sys.stdout.buffer if isinstance(target, str) else target
    _require_binary(handle, "w")
    url = model.url
    with tempfile.TemporaryDirectory(prefix="modelfactory-") as folder:
        path = os.path.join(folder, "model")
        try:
            _core.save(model, path, format)
        finally:
            model.url = url  # the temporary file is no place the model is kept
        if isinstance(target, str):
            sys.stdout.flush()  # text already printed comes first
        with builtins.open(path, "rb") as written:
            shutil.copyfileobj(written, handle, _CHUNK)
    if isinstance(target, str):
        handle.flush()
