#!/usr/bin/env python3
"""Converts every file of a folder to another format, one file per worker process.

    convert_folder.py IN_DIR OUT_DIR [--to FASTA] [--ext fa] [--jobs N]

Each worker opens one file through modelfactory and saves it into OUT_DIR under the same name with
the new extension. Processes, not threads, so chromatograms (decoded one at a time within a
process) convert in parallel too. Files that cannot be read are listed with the library's message;
the exit status is 1 when any failed.
"""
import argparse
import concurrent.futures
import os
import pathlib
import sys
import warnings

import modelfactory


def convert(source, target, to):
    """Converts one file; returns (source, number of sequences, warnings, error text or None)."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", modelfactory.Warning)
        try:
            model = modelfactory.open(source)
            modelfactory.save(model, target, to)
            count = len(model) if isinstance(model, modelfactory.BioModel) else 0
            return source, count, [str(w.message) for w in caught], None
        except modelfactory.Error as error:
            return source, 0, [str(w.message) for w in caught], str(error)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("input", type=pathlib.Path)
    parser.add_argument("output", type=pathlib.Path)
    parser.add_argument("--to", default="FASTA", help="format to write (default FASTA)")
    parser.add_argument("--ext", default="fa", help="extension of the written files (default fa)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count(), help="worker processes")
    args = parser.parse_args(argv)

    args.output.mkdir(parents=True, exist_ok=True)
    sources = sorted(p for p in args.input.iterdir() if p.is_file())
    failed = 0
    with concurrent.futures.ProcessPoolExecutor(max_workers=args.jobs) as pool:
        jobs = [pool.submit(convert, str(p), str(args.output / (p.stem + "." + args.ext)), args.to)
                for p in sources]
        for job in concurrent.futures.as_completed(jobs):
            source, count, notes, error = job.result()
            for note in notes:
                print("warning: %s: %s" % (source, note), file=sys.stderr)
            if error:
                failed += 1
                print("error: %s" % error, file=sys.stderr)
            else:
                print("%s: %d sequences" % (source, count))
    print("%d of %d files converted" % (len(sources) - failed, len(sources)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
