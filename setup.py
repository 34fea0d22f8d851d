"""Builds the Python package from the checkout, offline: CMake builds the native
module (with the engine linked in) and trains the models, which are packaged
inside morv/models.

    /usr/bin/python3 -m pip install --no-build-isolation .
"""
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))


def version():
    with open(os.path.join(HERE, "engine", "morv.h"), encoding="utf-8") as f:
        return re.search(r'#define MORV_VERSION_STRING "([^"]+)"', f.read()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        os.makedirs(build_dir, exist_ok=True)
        subprocess.check_call([
            "cmake", "-S", HERE, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
            "-DPython_EXECUTABLE=" + sys.executable, "-DMORV_BUILD_APP=OFF", "-DMORV_BUILD_BENCH=OFF",
            "-DMORV_BUILD_TESTS=OFF"])
        subprocess.check_call(["cmake", "--build", build_dir, "--target", "morv_python", "-j",
                               str(os.cpu_count() or 2)])
        target = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        os.makedirs(target, exist_ok=True)
        built = os.path.join(build_dir, "python", "morv")
        for name in os.listdir(built):
            if name.startswith("_morv") and name.endswith(".so"):
                shutil.copy2(os.path.join(built, name), self.get_ext_fullpath(ext.name))
        models = os.path.join(target, "models")
        shutil.rmtree(models, ignore_errors=True)
        shutil.copytree(os.path.join(build_dir, "bin", "Morv"), models,
                        ignore=shutil.ignore_patterns("MANUAL", "*.log", "UserDict.pdat"))


setup(
    version=version(),
    ext_modules=[Extension("morv._morv", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    package_data={"morv": ["*.pyi", "py.typed"]},
    zip_safe=False,
)
