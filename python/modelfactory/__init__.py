"""Sequence, alignment and chromatogram files as in-memory models, and back.

    import modelfactory as mf

    model = mf.open("contigs.gb")                 # class detected, like the command-line tool
    for read in mf.records("reads.fastq.gz"):     # one record at a time, constant memory
        print(read.name, len(read), read.quality_array().mean())
    for entry in mf.iterate("reads.fastq.gz"):    # or one model per entry
        print(entry[0].name)
    mf.save(model, "contigs.fa")                  # the extension picks the format
    trace = mf.TraceFile.read("read.ab1")         # numpy views of the four channels
    trace.plot()                                   # matplotlib, imported only here

Paths may be str, bytes or os.PathLike, and may name their format in front: "GenBank@@download.txt".
Binary file objects (open(..., "rb"), gzip.open(...), io.BytesIO, sys.stdin.buffer) and "-" (standard
input or output) are taken too. Warnings of an operation are issued as modelfactory.Warning; failures
raise FileError (an OSError) or FormatError (a ValueError), both modelfactory.Error, with the
library's message.

Files are read and written with the GIL released, so threads can read in parallel. Chromatogram
decoding is serialised inside the library (its decoder is not reentrant): threads reading
chromatograms take turns there; processes do not.
"""
import os as _os
from typing import Any, BinaryIO, Optional, Union

from ._core import (AlignModel, AssemblyModel, BioModel, Error, Feature, FileError, FormatError,
                    Model, ModelIterator, Record, RecordIterator, Sequence, SeqModel, Trace, TraceFile,
                    Warning, __version__, formats)
from ._core import Location, LocationError, LocationPart, TranslationError
from ._core import Index
from . import _biopython, _core, _plot, _sequences, _streams

__all__ = ["AlignModel", "AssemblyModel", "BioModel", "Error", "Feature", "FileError", "FormatError",
           "Model", "ModelIterator", "Record", "RecordIterator", "Sequence", "SeqModel", "Trace", "TraceFile",
           "Warning", "__version__", "formats", "from_seqrecord", "get_type", "iterate", "open",
           "records", "save"]
__all__ += ["Location", "LocationError", "LocationPart", "TranslationError"]
__all__ += ["Index"]

_Path = Union[str, bytes, _os.PathLike]
_Source = Union[_Path, BinaryIO]


def get_type(path: _Path, format: Optional[str] = None) -> str:
    """The model class name the file holds ("SeqModel", "AlignModel", "TraceModel", ...), or ""
    when it is not classified.

    Args:
        path: the file (str, bytes or os.PathLike); "FORMAT@@FILE" names the format in front.
        format: judge the file as this format (a name from formats()).

    Raises:
        FileError: the file does not exist or is a folder.
    """
    return _core.get_type(path, format)


def open(source: _Source, type: Optional[str] = None, format: Optional[str] = None) -> BioModel:
    """Reads a whole file into a model: a SeqModel, AlignModel, AssemblyModel, ... by what it holds
    (a chromatogram opens as a SeqModel of its called sequence).

    Args:
        source: a path (str, bytes, os.PathLike; "FORMAT@@FILE" names the format), a binary file
            object, or "-" for standard input (file objects and "-" go through a temporary file).
        type: the model class to open as ("SeqModel", ...); detected when None.
        format: read the file in this format (a name from formats()).

    Raises:
        FileError: the file does not exist, is a folder or cannot be read.
        FormatError: the file is not classified, or nothing could be read from it.
    """
    if _streams.is_stream(source):
        return _streams.open(source, type, format)
    return _core.open(source, type, format)


def iterate(source: _Source, format: Optional[str] = None) -> ModelIterator:
    """A lazy iterator over the models in the file (each entry of a sequence archive is one model).

    Only the models being handed out are held, so any file size runs in constant memory. Use it in
    a for loop; close() it, or use it as a context manager, to release the file before the end.

    Args:
        source: a path (str, bytes, os.PathLike; "FORMAT@@FILE" names the format), a binary file
            object (open(..., "rb"), gzip.open(...), io.BytesIO, sys.stdin.buffer), or "-" for
            standard input. Sequence archives on a stream are read as they arrive; other formats
            go through a temporary file.
        format: the format to read (a name from formats()); with None, the first bytes decide.

    Raises:
        FileError: the file does not exist or cannot be read.
        FormatError: the file holds nothing the library iterates (and, from next(), an entry
            that cannot be read).
        TypeError: a text-mode file object.
    """
    if _streams.is_stream(source):
        return _streams.iterate(source, format, False)
    return ModelIterator(source, format)


def records(source: _Source, format: Optional[str] = None) -> RecordIterator:
    """A lazy iterator over the sequences of the file, one Record at a time (the sequences of
    iterate()'s models, without a model around each); the fastest way through a file of reads.

    A Record makes its name, residues and qualities (bytes of Phred values) only when they are
    asked for; record.sequence() gives the full Sequence, record.quality_array() a numpy array.

    Args:
        source: as for iterate(): a path, a binary file object or "-".
        format: the format to read; with None, the first bytes decide.

    Raises:
        FileError: the file does not exist or cannot be read.
        FormatError: the file holds nothing the library iterates, holds models without
            sequences (a BLAST result), or an entry cannot be read.
        TypeError: a text-mode file object.
    """
    if _streams.is_stream(source):
        return _streams.iterate(source, format, True)
    return RecordIterator(source, format)


def save(model: Model, target: Union[_Path, BinaryIO], format: Optional[str] = None, *,
         level: Optional[int] = None) -> None:
    """Writes the model to a file, in `format` or the one the file's extension names.

    Saved to a path, the model's url becomes that path. A path ending in .gz, .bz2, .xz or .zst is
    written compressed that way; gzip as BGZF, which every gzip reader reads and which
    modelfactory index (and samtools faidx) can seek in.

    Args:
        model: the model to write.
        target: a path (str, bytes or os.PathLike), a binary file object opened for writing, or
            "-" for standard output; the last two need `format`.
        format: the format to write (a name from formats()).
        level: the compression level of a compressed path: gzip 0-12 (default 1; 0 stores),
            bzip2 1-9, xz 0-9, zstd 1-22; None for each compression's default.

    Raises:
        FileError: the folder does not exist, or the file cannot be written.
        FormatError: the format is unknown or cannot hold this model.
        ValueError: no format for a file object or "-"; a level for a target that is not
            compressed, or outside the compression's levels.
        TypeError: not a model, a text-mode file object, or a level that is not an int.
    """
    if level is not None and (isinstance(level, bool) or not isinstance(level, int)):
        raise TypeError("level must be an int, not %s" % type(level).__name__)
    if _streams.is_stream(target):
        if level is not None:
            raise ValueError("level is for compressed output: name the file .gz, .bz2, .xz or .zst")
        _streams.save(model, target, format)
    else:
        _core.save(model, target, format, level)


Trace.plot = _plot.plot_trace
Sequence.to_seqrecord = _biopython.to_seqrecord
Sequence.__getitem__ = _sequences.getitem
Sequence.__contains__ = _sequences.contains
from_seqrecord = _biopython.from_seqrecord
