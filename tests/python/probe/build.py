"""Builds the binder probe extension from the binding layer's sources.

The probe is compiled with the same limited-API settings as the product
module, cached under build/probe/ by a hash of its inputs.
"""

import concurrent.futures
import hashlib
import importlib.util
import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig

REPO = pathlib.Path(__file__).resolve().parents[3]
PROBE_DIR = pathlib.Path(__file__).resolve().parent

SOURCES = [
    *sorted((REPO / "src/python/py").glob("*.cpp")),
    REPO / "src/python/log_forwarding.cpp",
    REPO / "src/python/shutdown_hook.cpp",
    *sorted((REPO / "src/python/bridge").glob("*.cpp")),
    *sorted((REPO / "src/runtime").glob("*.cpp")),
    *sorted((REPO / "src/log").glob("*.cpp")),
    PROBE_DIR / "binder_probe.cpp",
]
HEADER_DIRS = [REPO / "src/python", REPO / "src/log", REPO / "src/common", REPO / "src/runtime"]


def _compiler():
    return os.environ.get("CXX") or shutil.which("g++") or shutil.which("c++")


def _flags():
    return [
        "-std=c++20",
        "-O1",
        "-fPIC",
        "-fvisibility=hidden",
        "-Wall",
        "-Wextra",
        "-Werror",
        "-DPy_LIMITED_API=0x030A0000",
        "-DFMT_HEADER_ONLY=1",
        "-DASIO_STANDALONE",
        "-DASIO_NO_DEPRECATED",
        f"-I{REPO / 'src'}",
        f"-I{sysconfig.get_paths()['include']}",
    ]


def _key():
    digest = hashlib.sha256()
    digest.update(" ".join(_flags()).encode())
    inputs = list(SOURCES)
    for folder in HEADER_DIRS:
        inputs += sorted(folder.rglob("*.hpp"))
    for path in inputs:
        digest.update(str(path).encode())
        digest.update(path.read_bytes())
    return digest.hexdigest()[:16]


def build():
    """Returns the directory holding binder_probe.abi3.so, building it if needed."""
    out_dir = REPO / "build" / "probe" / _key()
    target = out_dir / "binder_probe.abi3.so"
    if target.exists():
        return out_dir
    out_dir.mkdir(parents=True, exist_ok=True)
    compiler = _compiler()

    def compile_one(source):
        obj = out_dir / (source.relative_to(REPO).as_posix().replace("/", "_") + ".o")
        subprocess.run([compiler, *_flags(), "-c", str(source), "-o", str(obj)], check=True,
                       capture_output=True, text=True)
        return obj

    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        try:
            objects = list(pool.map(compile_one, SOURCES))
        except subprocess.CalledProcessError as failure:
            raise RuntimeError(f"probe build failed:\n{failure.stderr}") from None
    partial = out_dir / "binder_probe.partial.so"
    subprocess.run([compiler, "-shared", "-pthread", "-o", str(partial), *map(str, objects)], check=True)
    partial.rename(target)
    return out_dir


def load():
    directory = build()
    spec = importlib.util.spec_from_file_location("binder_probe", directory / "binder_probe.abi3.so")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    sys.modules["binder_probe"] = module
    return module


if __name__ == "__main__":
    print(build())
