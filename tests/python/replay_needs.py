"""The optional tools of the replay tests: Pillow, Selenium and Debian's Chromium. Where one is
missing the tests skip, except under VEXLAN_REQUIRE_REPLAY=1 (set by the replay stage of
tools/run-tests, tools/test-replay), where a missing one fails them."""

import importlib
import os
import shutil
from types import ModuleType

import pytest

REQUIRED = os.environ.get("VEXLAN_REQUIRE_REPLAY") == "1"


def module(name: str) -> ModuleType:
    return importlib.import_module(name) if REQUIRED else pytest.importorskip(name)


def program(name: str, package: str) -> str:
    path = shutil.which(name)
    if path is None:
        message = f"needs {name} (Debian's {package}; tools/install-test-deps installs it)"
        if REQUIRED:
            pytest.fail(message)
        pytest.skip(message, allow_module_level=True)
    return path
