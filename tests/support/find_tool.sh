# Sourced by the checks. tool NAME prints the path of NAME (or of Debian's NAME-14), or says
# that NAME is missing and fails: scripts/install-deps.sh installs every tool the tests use.
tool() {
    command -v "$1" || command -v "$1-14" || {
        echo "$1 not found: the check needs it (scripts/install-deps.sh installs it)" >&2
        return 1
    }
}
