"""Builds the C++ benchmark tools (plain CMake, Release) that the scripts run."""
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
BUILD = REPO / "build" / "bench"


def build_cpp_tool(target: str) -> Path:
    """Configures build/bench once and builds `target`; returns the executable's path."""
    venv_cmake = Path(sys.executable).parent / "cmake"
    cmake = str(venv_cmake) if venv_cmake.exists() else "cmake"
    subprocess.run([cmake, "-S", str(REPO), "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=Release"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run([cmake, "--build", str(BUILD), "--target", target, "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    return BUILD / target
