import pytest

from vexlan_rl import PyVexlan


@pytest.fixture
def game() -> PyVexlan:
    return PyVexlan()
