"""The package's version: the one place that states it (pyproject.toml reads it from here)."""

__version__ = "0.1.0"
