x = a | not b
