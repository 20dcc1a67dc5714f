"""Sequence, alignment and chromatogram files as in-memory models, and back.

    import modelfactory as mf

    model = mf.open("contigs.gb")                 # class detected, like the command-line tool
    for entry in mf.iterate("reads.fastq.gz"):    # one model at a time, constant memory
        read = entry.sequences[0]
        print(read.name, len(read), read.qualities.mean())
    mf.save(model, "contigs.fa")                  # the extension picks the format
    trace = mf.TraceFile.read("read.ab1")         # numpy views of the four channels
    trace.plot()                                   # matplotlib, imported only here

Paths may be str, bytes or os.PathLike, and may name their format in front: "GenBank@@download.txt".
Warnings of an operation are issued as modelfactory.Warning; failures raise FileError (an OSError)
or FormatError (a ValueError), both modelfactory.Error, with the library's message.

Files are read and written with the GIL released, so threads can read in parallel. Chromatogram
decoding is serialised inside the library (its decoder is not reentrant): threads reading
chromatograms take turns there; processes do not.
"""
import os as _os

from ._core import (AlignModel, AssemblyModel, BioModel, Error, Feature, FileError, FormatError,
                    Model, ModelIterator, Sequence, SeqModel, Trace, TraceFile, Warning, formats,
                    get_type, open, save)
from ._core import Location, LocationError, LocationPart, TranslationError
from . import _biopython, _plot

__all__ = ["AlignModel", "AssemblyModel", "BioModel", "Error", "Feature", "FileError", "FormatError",
           "Model", "ModelIterator", "Sequence", "SeqModel", "Trace", "TraceFile", "Warning",
           "formats", "from_seqrecord", "get_type", "iterate", "open", "save"]
__all__ += ["Location", "LocationError", "LocationPart", "TranslationError"]


def iterate(path, format=None):
    """A lazy iterator over the models in the file (each entry of a sequence archive is one model).

    Only the current model is held, so any file size runs in constant memory. Use it in a for loop;
    close() it, or use it as a context manager, to release the file before the end.
    """
    return ModelIterator(path, format)


Trace.plot = _plot.plot_trace
Sequence.to_seqrecord = _biopython.to_seqrecord
from_seqrecord = _biopython.from_seqrecord
del _os
