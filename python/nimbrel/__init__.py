"""nimbrel: chemistry file formats and volumetric grids, fast, from Python."""

__version__ = "0.6.0"

# The submodules, which `from nimbrel import *` imports; none is imported here,
# so that `import nimbrel` stays cheap.
__all__ = ["interop", "search", "searchdb", "tamrin", "velgar", "velk"]
