from a import b,; c
