"""Signatures of the extension modules' classes and functions, taken from their stubs.

The generated wrappers only know C++ types ("unsigned int", "PyObject *");
the ``.pyi`` files beside them say what Python gets, so the reference shows
those, every overload on a line of its own.
"""

from __future__ import annotations

import ast
import copy
import importlib.util
import re
from pathlib import Path
from typing import Any

from sphinx.application import Sphinx

MODULES = ("nimbrel.tamrin", "nimbrel.velgar")

# Qualified name ("nimbrel.tamrin.QvMolBase.GetCoords") -> one (arguments,
# return) pair per overload.
_signatures: dict[str, list[tuple[str, str | None]]] = {}
# The stubs' private type aliases, spelled out in the reference.
_aliases: dict[str, str] = {}
# The head of a generated docstring: "GetIdx(self) -> unsigned int".
_SWIG_SIGNATURE = re.compile(r"\w+\(self\b.*\)( -> .*)?$")


def _arguments(node: ast.FunctionDef, is_method: bool) -> str:
    args = copy.copy(node.args)
    if is_method:
        args.args = args.args[1:]  # self, which never has a default
    return f"({ast.unparse(args)})"


def _collect(module: str) -> None:
    spec = importlib.util.find_spec(module)
    if spec is None or spec.origin is None:
        raise ImportError(f"{module} is not installed")
    stub = Path(spec.origin).with_suffix(".pyi")
    tree = ast.parse(stub.read_text(), str(stub))

    def visit(body: list[ast.stmt], prefix: str, is_class: bool) -> None:
        for node in body:
            if isinstance(node, ast.AnnAssign) and ast.unparse(node.annotation) == "TypeAlias" and node.value:
                _aliases[ast.unparse(node.target)] = ast.unparse(node.value)
            elif isinstance(node, ast.ClassDef):
                if not is_class and not any(
                    isinstance(item, ast.FunctionDef) and item.name == "__init__" for item in node.body
                ):
                    # No constructor from Python: no signature either.
                    _signatures[f"{module}.{node.name}.__init__"] = [("", None)]
                visit(node.body, f"{prefix}{node.name}.", True)
            elif isinstance(node, ast.FunctionDef):
                decorators = {ast.unparse(d) for d in node.decorator_list}
                returns = None if node.returns is None else ast.unparse(node.returns)
                name = f"{module}.{prefix}{node.name}"
                # Properties are left to their docstrings: autodoc takes no
                # signature for them.
                if decorators <= {"overload"}:
                    _signatures.setdefault(name, []).append((_arguments(node, is_class), returns))

    visit(tree.body, "", False)


def _signature(
    app: Sphinx, what: str, name: str, obj: Any, options: Any, signature: str | None, return_annotation: str | None
) -> tuple[str, str | None] | None:
    forms = _signatures.get(name + ".__init__" if what == "class" else name)
    if not forms:
        return None
    if what == "class":
        forms = [(args, None) for args, _ in forms]
    # Overloads after the first go on lines of their own, each with the name
    # as it stands in the directive (without the module).
    dotted = name.split(".", 2)[2]
    text = f"\n{dotted}".join(args + ("" if returns is None else f" -> {returns}") for args, returns in forms)
    return _spell_out(text), None


def _spell_out(text: str) -> str:
    while True:
        expanded = re.sub(r"\b_\w+\b", lambda m: _aliases.get(m[0], m[0]), text)
        if expanded == text:
            return text
        text = expanded


def _docstring(app: Sphinx, what: str, name: str, obj: Any, options: Any, lines: list[str]) -> None:
    if not name.startswith(MODULES):
        return
    # The signature lines at the head of a generated docstring, which the
    # stubs' signatures replace.
    own_form = re.compile(re.escape(name.rsplit(".", 1)[1]) + r"\(.*\)$")
    while lines and (not lines[0].strip() or _SWIG_SIGNATURE.match(lines[0]) or own_form.match(lines[0])):
        del lines[0]


def _skip(app: Sphinx, what: str, name: str, obj: Any, skip: bool, options: Any) -> bool | None:
    # SWIG's ownership flag of every proxy object.
    return True if name == "thisown" else None


def setup(app: Sphinx) -> dict[str, object]:
    for module in MODULES:
        _collect(module)
    app.connect("autodoc-process-signature", _signature)
    app.connect("autodoc-process-docstring", _docstring)
    app.connect("autodoc-skip-member", _skip)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
