"""nimbrel: chemistry file formats and volumetric grids, fast, from Python."""

__version__ = "0.6.0"
