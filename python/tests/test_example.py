import pathlib
import subprocess
import sys

EXAMPLE = pathlib.Path(__file__).resolve().parents[1] / "examples" / "convert_folder.py"


def test_convert_folder_converts_each_file_in_worker_processes(tmp_path: pathlib.Path) -> None:
    src = tmp_path / "in"
    src.mkdir()
    (src / "a.gb").write_text(
        "LOCUS       A1                 8 bp    DNA     linear   UNK 01-JAN-2000\n"
        "ORIGIN\n        1 acgtacgt\n//\n")
    (src / "b.fa").write_text(">b1\nACGT\n>b2\nGGCC\n")
    (src / "c.fa").write_text("")
    run = subprocess.run([sys.executable, str(EXAMPLE), str(src), str(tmp_path / "out"), "--jobs", "2"],
                         capture_output=True, text=True)
    assert run.returncode == 1  # the empty file fails, the others convert
    assert (tmp_path / "out" / "a.fa").read_text().split() == [">A1", "acgtacgt"]
    assert (tmp_path / "out" / "b.fa").read_text().split() == [">b1", "ACGT", ">b2", "GGCC"]
    assert not (tmp_path / "out" / "c.fa").exists()
    assert "2 of 3 files converted" in run.stdout
    assert "error: " in run.stderr and "c.fa" in run.stderr
