#!/usr/bin/python3
"""Prints an application's accessible tree as a screen reader sees it over
AT-SPI, one object a line: its role, "name", the description after a dash, the
label it is labelled by, and [focused] or [hidden] where that holds. Indentation shows the nesting.

    accessible_tree.py APP_NAME
"""
import sys

import pyatspi


def walk(node, depth, out):
    states = node.getState()
    marks = [word for word, state in (("focused", pyatspi.STATE_FOCUSED),) if states.contains(state)]
    if not states.contains(pyatspi.STATE_SHOWING):
        marks.append("hidden")
    line = f'{"  " * depth}{node.getRoleName()} "{node.name}"'
    if node.description:
        line += f" - {node.description}"
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            line += f' (labelled "{relation.getTarget(0).name}")'

    if marks:
        line += f' [{",".join(marks)}]'
    out.append(line)
    for child in node:
        if child is not None:
            walk(child, depth + 1, out)


def main():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == sys.argv[1]:
            out = []
            walk(app, 0, out)
            print("\n".join(out))
            return 0
    print(f"no application {sys.argv[1]!r} on the accessibility bus", file=sys.stderr)
    return 1


sys.exit(main())
