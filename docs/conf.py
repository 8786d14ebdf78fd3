"""Sphinx configuration of the nimbrel documentation.

Built by ``make docs`` from the package installed in ``.venv``: the API
reference and the format table are read from that build, not from the sources.
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent / "_ext"))

import nimbrel  # noqa: E402

project = "nimbrel"
release = version = nimbrel.__version__
extensions = [
    "sphinx.ext.autodoc",
    "myst_parser",
    "formattable",
    "stubsigs",
]
source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
exclude_patterns = ["_build", "_ext"]
myst_heading_anchors = 3
autodoc_member_order = "bysource"
# Signatures of the extension modules come from their stubs (stubsigs), not
# from the C++ signatures at the head of the generated docstrings.
autodoc_docstring_signature = False
autodoc_typehints = "signature"
html_theme = "alabaster"
html_static_path: list[str] = []
html_show_copyright = False
