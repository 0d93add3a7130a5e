"""Checks that the built API reference has an entry for every public name of the package.

    python docs/check_api_coverage.py docs/_build/html/objects.inv

Public names: everything in ``__all__`` of corvalinth and of its submodules viz, progress and parallel,
and every public attribute of the classes among them. Exits with status 1 and lists what is
missing otherwise.
"""

import inspect
import sys

from sphinx.util.inventory import InventoryFile

import corvalinth


def public_names():
    for module in (corvalinth, corvalinth.viz, corvalinth.progress, corvalinth.parallel):
        for name in module.__all__:
            value = getattr(module, name)
            if inspect.ismodule(value):
                yield value.__name__
                continue
            qualified = f"{module.__name__}.{name}"
            yield qualified
            if isinstance(value, type):
                for attribute in dir(value):
                    if not attribute.startswith("_"):
                        yield f"{qualified}.{attribute}"
    yield "corvalinth.PanicException"


def main():
    with open(sys.argv[1], "rb") as stream:
        inventory = InventoryFile.load(stream, "", lambda base, uri: uri)
    documented = {name for kind in inventory.values() for name in kind}
    missing = sorted(set(public_names()) - documented)
    if missing:
        print("not in the API reference: " + ", ".join(missing))
        sys.exit(1)
    print(f"API reference: every public name documented ({len(set(public_names()))} names)")


if __name__ == "__main__":
    main()
