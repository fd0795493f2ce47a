"""What the torch tests need: torch itself, or a skip, or a failure in the stage that
installs it (tools/test-examples sets VEXLAN_REQUIRE_TORCH=1)."""

import importlib
import os
from types import ModuleType

import pytest


def require_torch() -> ModuleType:
    try:
        return importlib.import_module("torch")
    except ImportError as missing:
        reason = f"torch is not installed ({missing}); tools/test-examples runs these tests"
        if os.environ.get("VEXLAN_REQUIRE_TORCH") == "1":
            pytest.fail(reason)
        pytest.skip(reason, allow_module_level=True)
