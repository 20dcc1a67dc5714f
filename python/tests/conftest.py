import os
import pathlib

import pytest

TESTDATA = pathlib.Path(os.environ.get("MODELFACTORY_TESTDATA",
                                       pathlib.Path(__file__).resolve().parents[2] / "tests" / "data"))


@pytest.fixture
def testdata() -> pathlib.Path:
    # The third-party samples are part of the project: missing ones are a failure, not a skip.
    assert (TESTDATA / "SOURCES.md").is_file(), "sample files missing: %s" % TESTDATA
    return TESTDATA
