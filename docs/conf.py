"""Sphinx configuration of the corvalinth documentation (built by scripts/build-docs)."""

import corvalinth

project = "corvalinth"
author = "The corvalinth developers"
copyright = "2026, The corvalinth developers"
version = release = corvalinth.__version__

extensions = [
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
    "sphinx.ext.viewcode",
    "sphinx_gallery.gen_gallery",
]

# The extension module's docstrings are Google style; so are the Python modules'.
napoleon_google_docstring = True
napoleon_numpy_docstring = False
# Class docstrings list their attributes, which autodoc also documents as properties: render
# the list as fields so each attribute has one entry.
napoleon_use_ivar = True
autodoc_member_order = "bysource"
autodoc_default_options = {"members": True, "show-inheritance": False}
autodoc_typehints = "description"

sphinx_gallery_conf = {
    "examples_dirs": "../examples",
    "gallery_dirs": "auto_examples",
    # Every Python file of examples/ is executed at build time, so a broken example fails it.
    "filename_pattern": r".*\.py$",
    "ignore_pattern": r"__init__\.py",
    "within_subsection_order": "FileNameSortKey",
    "matplotlib_animations": (True, "jshtml"),
    "abort_on_example_error": True,
    "remove_config_comments": True,
    "show_memory": False,
    "download_all_examples": False,
}

templates_path = []
exclude_patterns = ["_build"]
html_static_path = ["_static"]
html_css_files = ["code.css"]
html_theme = "furo"
html_title = f"corvalinth {release}"
html_theme_options = {"navigation_with_keys": True}


def join_wrapped_parameter_names(app, what, name, obj, options, lines):
    """Joins an argument entry whose list of names wraps over several lines ("a, b,\\n c: ..."),
    which napoleon would read as separate entries: it runs before napoleon (priority 400)."""
    index = 0
    while index < len(lines) - 1:
        line, following = lines[index], lines[index + 1]
        indent = len(line) - len(line.lstrip())
        if (line.rstrip().endswith(",") and ":" not in line and following.strip()
                and len(following) - len(following.lstrip()) == indent):
            lines[index] = line.rstrip() + " " + following.strip()
            del lines[index + 1]
        else:
            index += 1


def drop_modules_without_source(app):
    """viewcode lists every module it looked at in its index of source pages, also a module it
    found no Python source for (the extension module), and links those to pages it never
    writes. Forgetting them before it collects its pages (priority 400) keeps the index true."""
    modules = getattr(app.env, "_viewcode_modules", {})
    for name in [name for name, entry in modules.items() if entry is False]:
        del modules[name]
    return []


def setup(app):
    app.connect("autodoc-process-docstring", join_wrapped_parameter_names, priority=400)
    app.connect("html-collect-pages", drop_modules_without_source, priority=400)
