"""The build of the Python package: setuptools for the metadata and the wheel, the project's
CMake for the compiled core (pyproject.toml has the rest).

The core is linked against the static libraries, so the package carries no shared library of
the project's and works in any environment of this interpreter. Set MF_PACKAGE_BUILD to a
folder to keep the CMake build there between runs; CMAKE_BUILD_PARALLEL_LEVEL sets the jobs.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


def project_version():
    """The version of the C++ library, from the project() line of CMakeLists.txt."""
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake_lists:
        found = re.search(r"project\(\s*ModelFactory\s+VERSION\s+([0-9][0-9.]*)", cmake_lists.read())
    if not found:
        raise RuntimeError("CMakeLists.txt names no project version")
    return found.group(1)


class CMakeBuild(build_ext):
    """Configures the project for this interpreter and builds the core's target alone."""

    def build_extension(self, ext):
        build_dir = os.path.abspath(os.environ.get("MF_PACKAGE_BUILD") or os.path.join(self.build_temp, "cmake"))
        subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                        "-DPython_EXECUTABLE=" + sys.executable, "-DMF_BUILD_PYTHON=ON",
                        "-DMF_PYTHON_STATIC=ON", "-DMF_BUILD_TESTS=OFF", "-DMF_BUILD_TOOLS=OFF",
                        "-DMF_INSTALL=OFF"], check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(min(os.cpu_count() or 1, 2))
        subprocess.run(["cmake", "--build", build_dir, "--target", "mf_python", "-j", jobs], check=True)
        suffix = sysconfig.get_config_var("EXT_SUFFIX") or ".so"
        built = os.path.join(build_dir, "python", "modelfactory", "_core" + suffix)
        if not os.path.isfile(built):
            found = glob.glob(os.path.join(build_dir, "python", "modelfactory", "_core*"))
            raise RuntimeError("the CMake build made no %s (found: %s)" % (built, ", ".join(found) or "nothing"))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built, target)


setup(version=project_version(),
      ext_modules=[Extension("modelfactory._core", sources=[])],
      cmdclass={"build_ext": CMakeBuild})
