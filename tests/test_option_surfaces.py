"""The settings are declared once, in the native module; the type stubs and the command line
must offer exactly the declared settings, in their order, with their defaults and values."""

from __future__ import annotations

import ast
import inspect
import re
import sys
import types
from pathlib import Path
from typing import Any, Dict, List, Set, Tuple

import pytest

import scrubix
from scrubix import Options
from scrubix.cli import build_options, build_parser

# Name -> default, in declaration order, as the pickled state of a default object lists them.
DECLARED: Dict[str, Any] = Options().__reduce__()[2]
STUBS = Path(scrubix.__file__).with_name("_scrubix.pyi")


def values_of(name: str) -> Set[Any]:
    """Every value the setting can hold, as its attribute returns it."""
    if isinstance(DECLARED[name], bool):
        return {False, True}
    with pytest.raises(ValueError) as info:
        Options(**{name: "?"})
    words = re.fullmatch(r"invalid .*: \? \(expected (.*)\)", str(info.value)).group(1).split("/")
    return {getattr(Options(**{name: word}), name) for word in words}


def parameter_type(name: str) -> str:
    """What the constructor accepts for the setting, as the stubs spell it."""
    values = values_of(name)
    if values == {False, True}:
        return "bool"
    return "Optional[str]" if None in values else "str"


def test_the_module_lists_the_settings_alike() -> None:
    getters = [name for name, attr in vars(Options).items() if isinstance(attr, types.GetSetDescriptorType)]
    assert getters == list(DECLARED)
    if sys.version_info >= (3, 10):  # 3.9 drops a class's text signature
        parameters = inspect.signature(Options).parameters.values()
        assert [(p.name, p.default) for p in parameters] == list(DECLARED.items())
    # repr writes the record members: keep_emoji is the flag view of emoji_policy.
    members = re.findall(r"(\w+)=", repr(Options()))
    assert members == [name.replace("keep_emoji", "emoji_policy") for name in DECLARED]


def _stub_options() -> Tuple[ast.ClassDef, Dict[str, ast.expr]]:
    tree = ast.parse(STUBS.read_text(encoding="utf-8"))
    aliases = {node.targets[0].id: node.value for node in tree.body
               if isinstance(node, ast.Assign) and isinstance(node.targets[0], ast.Name)}
    cls = next(node for node in tree.body if isinstance(node, ast.ClassDef) and node.name == "Options")
    return cls, aliases


def _stub_values(node: ast.expr, aliases: Dict[str, ast.expr]) -> Set[Any]:
    """The values a return annotation admits: bool, a Literal (through aliases), Optional[...]."""
    if isinstance(node, ast.Name):
        return {False, True} if node.id == "bool" else _stub_values(aliases[node.id], aliases)
    assert isinstance(node, ast.Subscript), ast.unparse(node)
    kind = ast.unparse(node.value)
    if kind == "Optional":
        return _stub_values(node.slice, aliases) | {None}
    assert kind == "Literal", ast.unparse(node)
    items = node.slice.elts if isinstance(node.slice, ast.Tuple) else [node.slice]
    return {ast.literal_eval(item) for item in items}


def test_stubs_follow_the_declaration() -> None:
    cls, aliases = _stub_options()
    methods = {node.name: node for node in cls.body if isinstance(node, ast.FunctionDef)}

    new = methods["__new__"].args
    assert [arg.arg for arg in new.args[1:]] == list(DECLARED)
    assert [ast.literal_eval(default) for default in new.defaults] == list(DECLARED.values())
    assert [ast.unparse(arg.annotation) for arg in new.args[1:]] == [parameter_type(name) for name in DECLARED]

    replace = methods["replace"].args
    assert replace.args[1:] == [] and [arg.arg for arg in replace.kwonlyargs] == list(DECLARED)
    assert [ast.unparse(arg.annotation) for arg in replace.kwonlyargs] == [parameter_type(name) for name in DECLARED]
    assert all(ast.unparse(default) == "..." for default in replace.kw_defaults)

    properties = [node for node in cls.body if isinstance(node, ast.FunctionDef)
                  and any(ast.unparse(d) == "property" for d in node.decorator_list)]
    assert [node.name for node in properties] == list(DECLARED)
    for node in properties:
        assert _stub_values(node.returns, aliases) == values_of(node.name), node.name


def _command_lines(action: Any) -> List[List[str]]:
    if action.nargs == 0:
        return [[switch] for switch in action.option_strings]
    assert action.choices, action.option_strings
    return [[action.option_strings[0], choice] for choice in action.choices]


def test_command_line_reaches_every_declared_value() -> None:
    parser = build_parser()
    [group] = [group for group in parser._action_groups if group.title == "cleaning options"]
    reached: Set[Tuple[str, Any]] = set()
    for action in group._group_actions:
        if action.dest == "preset":
            continue
        assert action.dest in DECLARED, action.option_strings
        for argv in _command_lines(action):
            options = build_options(parser.parse_args(argv))
            changed = {name for name, default in DECLARED.items() if getattr(options, name) != default}
            assert changed <= {action.dest}, argv
            reached.add((action.dest, getattr(options, action.dest)))
    assert reached == {(name, value) for name in DECLARED for value in values_of(name)}
