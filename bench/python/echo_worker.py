"""The benchmark's echo worker in Python: the same behaviour as workers/echo_worker.cpp."""
import sys

ANSWER = b'{"success": true, "result": "pong"}\n'


def main() -> None:
    stdin = sys.stdin.buffer
    stdout = sys.stdout.buffer
    if not stdin.readline():
        return
    stdout.write(ANSWER)
    stdout.flush()
    # The next line is the quit request; the end of input means the same.
    stdin.readline()


if __name__ == "__main__":
    main()
