"""The launcher's rules for its interpreter line, from the writing side.

The launcher splits the text after ``#!`` as the old C runtimes did: blanks,
tabs, vertical tabs, form feeds, CR and LF separate tokens; a double quote
switches quoting on and off; backslashes are literal except in a run that
ends at a double quote, where 2n of them give n and switch quoting, and 2n + 1
give n and a literal quote. ``quote_token`` writes a token that this split
gives back unchanged.
"""

from __future__ import annotations

from launcher_maker.errors import LauncherError

# What the launcher counts as whitespace (the C locale's isspace).
_BLANKS = " \t\n\v\f\r"
# The launcher reads at most this many bytes of its script (a byte-order
# mark included); the first line must lie within them.
READ_LIMIT = 256
# A resolved interpreter path and its terminator fit this many bytes.
PATH_LIMIT = 260


def check_carried(what: str, text: str) -> bytes:
    """The UTF-8 bytes the launcher reads for ``text``; LauncherError when a
    line cannot carry it."""
    if any(c in text for c in "\0\r\n"):
        raise LauncherError(f"{what} {text!r} holds a NUL, CR or LF, which end the launcher's line")
    try:
        return text.encode("utf-8")
    except UnicodeEncodeError:
        raise LauncherError(f"{what} {text!r} cannot be written in UTF-8") from None


def quote_token(token: str) -> str:
    """``token`` as it stands when the split keeps it whole; otherwise in
    double quotes, a quote escaped and each backslash run before a quote or
    the closing quote doubled."""
    if token and not any(c in _BLANKS or c == '"' for c in token):
        return token
    out = ['"']
    backslashes = 0
    for c in token:
        if c == "\\":
            backslashes += 1
        elif c == '"':
            out.append("\\" * (backslashes + 1))
            backslashes = 0
        else:
            backslashes = 0
        out.append(c)
    out.append("\\" * backslashes + '"')
    return "".join(out)
