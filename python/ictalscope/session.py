"""The batch language in Python: one session, kept between runs as one window keeps its panel
and workspace, that writes the same files as ictalscope-batch."""

import json
import os
import shlex
from typing import NamedTuple

from . import _core


class RunResult(NamedTuple):
    """What a run printed, and its exit status as ictalscope-batch's (0, 1 after a failure, 2
    for a usage error)."""

    status: int
    stdout: str
    stderr: str


class BatchError(_core.Error):
    """A run that failed: the message of its first error, and the whole RunResult."""

    def __init__(self, message, result):
        super().__init__(message)
        self.result = result


def _failure_message(result, problem):
    if problem:
        return problem
    for line in result.stderr.splitlines():
        if line.startswith("error: "):
            return line[len("error: "):]
    return f"the run ended with status {result.status}"


class Session:
    """Runs batch commands in `directory` (default: the current one, as it is now).

    session = ictalscope.Session("data")
    session.run("name=1 load each-record stat")

    Each run works in the directory (the working directory is set to it for the run and set back
    afterwards) on the same panel, chart and workspace as the runs before it.
    """

    def __init__(self, directory="."):
        self.directory = os.path.abspath(os.fsdecode(os.fspath(directory)))
        self._session = _core.BatchSession(self.directory)

    def run(self, command, check=True):
        """Runs the actions of `command`: a string split as a shell splits it, or a list of
        words. The options --keep-going, --quiet and --help work as for ictalscope-batch;
        --dir does not (the session has its directory).

        Returns a RunResult. With check=True (the default) a status other than 0 raises
        BatchError, an ictalscope.Error with the message of the first "error: " line (or the
        usage problem), after everything the run did.
        """
        words = shlex.split(command) if isinstance(command, str) else [str(w) for w in command]
        status, stdout, stderr, problem = self._session.run(words)
        result = RunResult(status, stdout, stderr)
        if check and status != 0:
            raise BatchError(_failure_message(result, problem), result)
        return result

    def state(self, brief=False):
        """The workspace as the action "state" (or "state:brief") prints it, parsed."""
        return json.loads(self.run("state:brief" if brief else "state").stdout)

    def __repr__(self):
        return f"<ictalscope.Session in {self.directory}>"
