"""The tables the benchmark scripts print: plain text for a terminal, or reStructuredText for the
guides. Scripts import it from their own directory (``python benchmarks/NAME.py`` puts it on the
path)."""


def table_lines(header, rows, *, rst=False, separator="  ", numbers_right=False, strip=False):
    """The lines of a table of `rows` under `header`, every cell shown with ``str``.

    Each column is as wide as its widest cell. Cells are left-aligned, or with `numbers_right`
    every column after the first is right-aligned. Plain text joins the cells of a row with
    `separator`; reStructuredText joins them with two spaces and frames the header and the body
    with rules of ``=``. `strip` drops the spaces that pad the end of each row.
    """
    cells = [[str(cell) for cell in row] for row in [header, *rows]]
    widths = [max(len(row[k]) for row in cells) for k in range(len(header))]

    def line(row, between):
        text = between.join(cell.rjust(width) if numbers_right and k > 0 else cell.ljust(width)
                            for k, (cell, width) in enumerate(zip(row, widths, strict=True)))
        return text.rstrip() if strip else text

    if not rst:
        return [line(row, separator) for row in cells]
    rule = "  ".join("=" * width for width in widths)
    return [rule, line(cells[0], "  "), rule, *(line(row, "  ") for row in cells[1:]), rule]


def print_table(header, rows, **options):
    """Prints `table_lines(header, rows, **options)`, one line each."""
    print("\n".join(table_lines(header, rows, **options)))
