(a, b): int
