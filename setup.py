"""Builds the Python package from the checkout, offline:

    /usr/bin/python3 -m pip install --no-build-isolation .

The native module (the engine linked in) and the models come from the CMake
build in build/ ($MORV_BUILD_DIR names another): what it lacks is built there,
so after ./run.sh only the module is compiled, and the models are trained once,
by whichever comes first. Without a build, build/ is made as ./run.sh makes it.
An interpreter the build's module does not fit (another Python version) gets a
module of its own, built in build/python-<version> with the same models.
setuptools' own working files go to a temporary directory, never into build/.
With MORV_SETUP_REUSE_ONLY=1 the build is taken as it stands and nothing is
built (the test suite installs the package this way from the tree it tests).
"""
import atexit
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(os.environ.get("MORV_BUILD_DIR") or os.path.join(HERE, "build"))
# The notices that travel with the models: the terms of the corpus they are
# computed from, and the third-party data beside it.
NOTICES = {"NOTICE.md": os.path.join("data", "corpus", "NOTICE.md"),
           "DATA-NOTICE.md": os.path.join("data", "NOTICE.md")}

SCRATCH = tempfile.mkdtemp(prefix="morv-setup-")
atexit.register(shutil.rmtree, SCRATCH, True)


def version():
    with open(os.path.join(HERE, "engine", "morv.h"), encoding="utf-8") as f:
        return re.search(r'#define MORV_VERSION_STRING "([^"]+)"', f.read()).group(1)


REUSE_ONLY = os.environ.get("MORV_SETUP_REUSE_ONLY") == "1"


def cmake(*args):
    if REUSE_ONLY:
        raise RuntimeError("MORV_SETUP_REUSE_ONLY is set, but the build in %s lacks what the package needs "
                           "(cmake %s)" % (BUILD, " ".join(args)))
    print("setup.py: cmake " + " ".join(args), flush=True)
    subprocess.check_call(["cmake", *args])


def configure(build_dir, *options):
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    cmake("-S", HERE, "-B", build_dir, *generator, "-DCMAKE_BUILD_TYPE=Release", *options)


def jobs():
    return str(os.cpu_count() or 2)


def module_in(build_dir):
    """The native module for this interpreter in a build, or None."""
    path = os.path.join(build_dir, "python", "morv", "_morv" + sysconfig.get_config_var("EXT_SUFFIX"))
    return path if os.path.isfile(path) else None


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not os.path.isfile(os.path.join(BUILD, "CMakeCache.txt")):
            configure(BUILD)
        module = None
        if REUSE_ONLY:
            module = module_in(BUILD)
        else:
            cmake("--build", BUILD, "--target", "models", "-j", jobs())
            try:
                cmake("--build", BUILD, "--target", "_morv", "-j", jobs())
                module = module_in(BUILD)
            except subprocess.CalledProcessError:
                pass  # a build without the Python module (no pybind11 when it was configured)
        if module is None:
            own = os.path.join(BUILD, "python-%d.%d" % sys.version_info[:2])
            if not os.path.isfile(os.path.join(own, "CMakeCache.txt")):
                configure(own, "-DPython_EXECUTABLE=" + sys.executable, "-DMORV_BUILD_APP=OFF",
                          "-DMORV_BUILD_BENCH=OFF", "-DMORV_BUILD_TESTS=OFF")
            cmake("--build", own, "--target", "_morv", "-j", jobs())
            module = module_in(own)
            if module is None:
                raise RuntimeError("the build made no native module for " + sys.executable)
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(module, target)
        models = os.path.join(os.path.dirname(target), "models")
        shutil.rmtree(models, ignore_errors=True)
        shutil.copytree(os.path.join(BUILD, "bin", "Morv"), models,
                        ignore=shutil.ignore_patterns("MANUAL", "*.log", "UserDict.pdat"))
        for name, source in NOTICES.items():
            shutil.copy2(os.path.join(HERE, source), os.path.join(models, name))


setup(
    version=version(),
    ext_modules=[Extension("morv._morv", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    package_data={"morv": ["*.pyi", "py.typed"]},
    zip_safe=False,
    options={"build": {"build_base": os.path.join(SCRATCH, "build")},
             "egg_info": {"egg_base": SCRATCH}},
)
