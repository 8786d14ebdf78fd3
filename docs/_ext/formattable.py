"""The ``format-table`` directive: the registered formats, read from the installed package.

The table is made from ``velk.formats()`` each time the documentation is
built, so it lists exactly the formats of the build it documents.
"""

from __future__ import annotations

from docutils import nodes
from docutils.parsers.rst import Directive
from sphinx.application import Sphinx


def _row(*cells: str) -> nodes.row:
    row = nodes.row()
    for text in cells:
        entry = nodes.entry()
        entry += nodes.paragraph(text=text)
        row += entry
    return row


class FormatTable(Directive):
    has_content = False

    def run(self) -> list[nodes.Node]:
        from nimbrel import velk

        header = ("Format", "Suffixes", "Read", "Write", "Description")
        group = nodes.tgroup(cols=len(header))
        for width in (8, 22, 5, 5, 60):
            group += nodes.colspec(colwidth=width)
        head = nodes.thead()
        head += _row(*header)
        body = nodes.tbody()
        for info in velk.formats():
            body += _row(
                info.name,
                " ".join(info.extensions),
                "yes" if info.supports_read else "no",
                "yes" if info.supports_write else "no",
                info.description,
            )
        group += head
        group += body
        table = nodes.table(classes=["format-table"])
        table += group
        return [table]


def setup(app: Sphinx) -> dict[str, object]:
    app.add_directive("format-table", FormatTable)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
