"""Molecule files as pandas DataFrames: one row per record, one column per SD tag."""

from __future__ import annotations

import math
import os
from typing import TYPE_CHECKING, Any, Callable

if TYPE_CHECKING:
    import pandas as pd

_PANDAS_HINT = "velk.read_frame and velk.write_frame need pandas: pip install pandas"


def _pandas():
    try:
        import pandas
    except ImportError as error:
        raise ImportError(_PANDAS_HINT) from error
    return pandas


def _typed_column(pd: Any, values: list) -> Any:
    """A column typed as pandas.read_csv would type it: numbers when every
    present value is one, text otherwise; empty and absent values are NaN."""
    cleaned = [math.nan if value is None or value == "" else value for value in values]
    try:
        return pd.to_numeric(pd.Series(cleaned, dtype=object))
    except (TypeError, ValueError):
        return pd.Series(cleaned)  # pandas' own text dtype


def read_frame(
    path: str | os.PathLike[str],
    mol_column: str = "mol",
    title_column: str = "title",
    mol_factory: Callable[[], Any] | None = None,
    errors: str = "warn",
    num_threads: int = 1,
) -> pd.DataFrame:
    """Every record of the file at ``path`` as one row of a pandas DataFrame.

    Columns: the molecule (``mol_column``), its title (``title_column``, kept
    as text) and one column per SD tag in the order the tags are first seen.
    A tag named like one of the first two columns gets the suffix ``_sd``.
    A tag column holds numbers when every value present in it is a number and
    text otherwise; records without the tag, and empty values, give NaN.
    A tag present twice in a record contributes its first value.
    """
    from . import velk

    _pandas()  # before the file, so that a missing pandas says so first
    with velk.open_reader(path, mol_factory, errors=errors, num_threads=num_threads) as reader:
        return frame_of(list(reader), mol_column, title_column)


def frame_of(mols: list[Any], mol_column: str, title_column: str) -> pd.DataFrame:
    """The frame of read_frame for molecules already read."""
    pd = _pandas()
    from ._tamrin import QvGetSDDataPairs

    # Whole columns at a time: a Python step per record and tag would cost
    # about as much as parsing the records.
    titles = [mol.GetTitle() for mol in mols]
    records = list(map(QvGetSDDataPairs, mols))
    tags = dict.fromkeys(tag for pairs in records for tag, _ in pairs)
    # Reversed, so that the first value of a tag repeated in a record stands.
    rows = [dict(reversed(pairs)) for pairs in records]
    reserved = {mol_column, title_column}
    data: dict[str, Any] = {mol_column: pd.Series(mols, dtype=object), title_column: pd.Series(titles)}
    for tag in tags:
        data[f"{tag}_sd" if tag in reserved else tag] = _typed_column(pd, [row.get(tag) for row in rows])
    return pd.DataFrame(data, copy=False)


def _as_text(pd: Any, value: Any) -> str | None:
    """An SD value for a cell; None for a missing one."""
    if not isinstance(value, str) and hasattr(value, "item"):
        value = value.item()  # a NumPy scalar
    if value is None or value is pd.NA or value is pd.NaT:
        return None
    if isinstance(value, float):
        if math.isnan(value):
            return None
        # A column of whole numbers turns float as soon as one value is
        # missing; write its numbers as they were read.
        return str(int(value)) if value.is_integer() and abs(value) < 2**53 else repr(value)
    return str(value)


def write_frame(
    frame: pd.DataFrame,
    path: str | os.PathLike[str],
    mol_column: str = "mol",
    title_column: str | None = "title",
) -> int:
    """Writes each row's molecule to ``path`` (format from the suffix), the
    other columns as its SD data; returns the number of records written.

    The molecules in the frame are not changed: each is copied, its SD data
    replaced by the row's cells (missing cells are left out), and its title
    by the ``title_column`` cell when that column exists. Rows without a
    molecule raise ValueError.
    """
    pd = _pandas()
    from . import velk
    from .tamrin import QvClearSDData, QvGraphMol, QvMolBase, QvSetSDData

    if mol_column not in frame.columns:
        raise KeyError(f"write_frame: no molecule column {mol_column!r} among {list(frame.columns)!r}")
    has_title = title_column is not None and title_column in frame.columns
    data_columns = [c for c in frame.columns if c != mol_column and not (has_title and c == title_column)]
    tags = [str(c) for c in data_columns]
    cells = [frame[c].tolist() for c in data_columns]
    titles = frame[title_column].tolist() if has_title else [None] * len(frame)
    written = 0
    with velk.open_writer(path) as writer:
        for row, (mol, title, *values) in enumerate(zip(frame[mol_column].tolist(), titles, *cells)):
            if not isinstance(mol, QvMolBase):
                raise ValueError(f"write_frame: row {row} has no molecule in column {mol_column!r}: {mol!r}")
            copy = QvGraphMol(mol)
            QvClearSDData(copy)
            for tag, value in zip(tags, values):
                text = _as_text(pd, value)
                if text is not None:
                    QvSetSDData(copy, tag, text)
            if has_title:
                copy.SetTitle(_as_text(pd, title) or "")
            writer.append(copy)
            written += 1
    return written
