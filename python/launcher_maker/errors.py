"""The one exception for input the maker cannot use."""


class LauncherError(ValueError):
    """Bad input: the message names the value and the rule it breaks.
    Nothing has been written when it is raised."""
