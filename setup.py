"""pip install of the Python package zortan from the checkout.

The extension zortan._zortan is built by the project's CMake build (the
target zortan_python_module, with the desktop window, tests and benchmarks
off) in a build folder of its own, build-pip/cmake; the pure-Python files
come from app/python/zortan. The version is the project's, read from
project(Zortan VERSION ...) in CMakeLists.txt.

On Debian 12, offline, in a virtual environment that sees Debian's numpy:

    /usr/bin/python3 -m venv --system-site-packages ~/zortan-env
    ~/zortan-env/bin/pip install --no-build-isolation .

CMAKE_BUILD_PARALLEL_LEVEL sets the number of compile jobs.
"""

import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
# setuptools' own build folders and the egg-info go here too, beside the
# project's build folders rather than in them.
BUILD_BASE = ROOT / "build-pip"


def project_version() -> str:
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"^\s*project\s*\(\s*Zortan\s+VERSION\s+([0-9]+(?:\.[0-9]+)*)", text,
                      re.MULTILINE | re.IGNORECASE)
    if not found:
        raise RuntimeError("CMakeLists.txt sets no project(Zortan VERSION ...)")
    return found.group(1)


class CMakeBuild(build_ext):
    """Builds the extension with CMake and copies it where the wheel takes it."""

    def build_extension(self, ext: Extension) -> None:
        build = BUILD_BASE / "cmake"
        subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
             "-DZORTAN_DESKTOP=OFF", "-DZORTAN_TESTS=OFF", "-DZORTAN_BENCH=OFF",
             "-DZORTAN_PYTHON=ON", f"-DPython3_EXECUTABLE={sys.executable}"],
            check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "zortan_python_module"],
                       check=True)
        # Named as this Python names extensions (_zortan.cpython-311-x86_64-linux-gnu.so).
        built = build / "python" / "zortan" / pathlib.Path(self.get_ext_filename(ext.name)).name
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


BUILD_BASE.mkdir(exist_ok=True)
setup(
    name="zortan",
    version=project_version(),
    description="Quantization trees, coding, fvs event files and .zrt outputs of Zortan",
    python_requires=">=3.8",
    install_requires=["numpy"],
    extras_require={"dask": ["distributed"]},
    packages=["zortan"],
    package_dir={"": "app/python"},
    package_data={"zortan": ["py.typed"]},
    ext_modules=[Extension("zortan._zortan", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(BUILD_BASE)}, "egg_info": {"egg_base": str(BUILD_BASE)}},
    zip_safe=False,
)
